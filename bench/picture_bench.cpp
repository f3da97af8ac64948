// Picture benchmarks: what a picture change costs in zarvo.scr, beside what
// WIC alone needs for the same file, and whether changes leak.
//
//   picture_bench compare REPS FILE...  per file, REPS rounds of one change
//                                       and one floor, alternating
//   picture_bench peak FILE             one change, then peak memory
//   picture_bench cycle N FILE...       N changes over the files in turn;
//                                       memory and GDI/USER objects
//   picture_bench scale W H W2 H2 REPS  the scaler alone, on one core
//   picture_bench matrix FILE W H W2 H2 REPS
//                                       the scaler alone with and without
//                                       the matrix of FILE's embedded
//                                       profile, on one core
//   picture_bench reduce W H F REPS     the whole-factor reduction alone,
//                                       from 24-bit rows, on one core
//   picture_bench codec FILE            WIC alone decoding every row of the
//                                       file: its own peak memory
//   picture_bench breakdown REPS FILE...
//                                       per file, where a change's time
//                                       goes, step by step (medians)
//   picture_bench dump WxH[,WxH...] FILE...
//                                       per screen size and file, a hash of
//                                       the pixels the loader keeps and of
//                                       the bitmap it prepares, to tell
//                                       whether a change to the loader
//                                       changes any picture
//
// A change is what the saver's tick does with a file, without the toolkit:
// LoadPictureFile (read, header check, WIC decode of the first frame on the
// worker thread, orientation, compositing), RenderPictureBitmap at the size
// that fits the screen (our scaler, or a copy when the picture fits as it
// is), then one BitBlt of it into a full-screen window and GdiFlush. The
// floor is the least WIC needs for the same result: decoder from the file
// name, first frame, WIC's bitmap scaler to the same size, conversion to
// 32bpp PBGRA, CopyPixels into a DIB section, the same BitBlt and GdiFlush.
// Its imaging factory is made once, outside the timing.
#include <objbase.h>
#include <psapi.h>
#include <wincodec.h>
#include <windows.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "host/picture/colour_profile.h"
#include "host/picture/embedded_profile.h"
#include "host/picture/pixels.h"
#include "host/picture/reduce.h"
#include "host/picture/resample.h"
#include "host/picture/samples16.h"
#include "host/runtime.h"
#include "host/win32/wic_picture.h"
#include "host/win32/wic_pixels.h"

namespace {

using host::picture::PixelBuffer;

HWND g_screen = nullptr;
int g_screenWidth = 0, g_screenHeight = 0;
IWICImagingFactory* g_factory = nullptr;

double Now() {
  static LARGE_INTEGER frequency{};
  if (!frequency.QuadPart) QueryPerformanceFrequency(&frequency);
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return static_cast<double>(now.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

void Pump() {
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
}

void MakeScreen() {
  WNDCLASSW wc{};
  wc.lpfnWndProc = DefWindowProcW;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
  wc.lpszClassName = L"ZarvoBenchScreen";
  RegisterClassW(&wc);
  g_screenWidth = GetSystemMetrics(SM_CXSCREEN);
  g_screenHeight = GetSystemMetrics(SM_CYSCREEN);
  g_screen =
      CreateWindowExW(WS_EX_TOPMOST, wc.lpszClassName, L"bench", WS_POPUP | WS_VISIBLE, 0, 0,
                      g_screenWidth, g_screenHeight, nullptr, nullptr, wc.hInstance, nullptr);
  Pump();
}

// The size the picture is shown at: as it is when it fits, else scaled
// down to fit, keeping its shape.
SIZE Fit(int width, int height) {
  if (width <= g_screenWidth && height <= g_screenHeight) return {width, height};
  const double scale = std::min(static_cast<double>(g_screenWidth) / width,
                                static_cast<double>(g_screenHeight) / height);
  return {std::max(1L, std::lround(width * scale)), std::max(1L, std::lround(height * scale))};
}

void Show(HBITMAP bitmap, SIZE size) {
  HDC dc = GetDC(g_screen);
  HDC memory = CreateCompatibleDC(dc);
  HGDIOBJ old = SelectObject(memory, bitmap);
  BitBlt(dc, (g_screenWidth - size.cx) / 2, (g_screenHeight - size.cy) / 2, size.cx, size.cy,
         memory, 0, 0, SRCCOPY);
  SelectObject(memory, old);
  DeleteDC(memory);
  ReleaseDC(g_screen, dc);
  GdiFlush();
}

// Time spent in the last change: loading, and rendering plus showing.
double g_loadMs = 0, g_renderMs = 0;

// One change in zarvo.scr's way. `held` is the picture on the screen until
// the new one is made, as in the saver.
bool Change(const std::wstring& path, host::Picture& held, SIZE* shown = nullptr) {
  const double start = Now();
  host::Picture picture;
  try {
    picture =
        host::win32::LoadPictureFile(host::Text(reinterpret_cast<const char16_t*>(path.c_str())),
                                     {g_screenWidth, g_screenHeight});
  } catch (const host::RuntimeError& error) {
    std::printf("load failed: error %d\n", static_cast<int>(error.code()));
    return false;
  }
  const double loaded = Now();
  const SIZE size = Fit(picture->WidthPx(), picture->HeightPx());
  HBITMAP bitmap = host::win32::RenderPictureBitmap(*picture, size.cx, size.cy);
  if (!bitmap) return false;
  Show(bitmap, size);
  DeleteObject(bitmap);
  g_loadMs = loaded - start;
  g_renderMs = Now() - loaded;
  held = std::move(picture);
  if (shown) *shown = size;
  return true;
}

template <class T>
void Release(T*& p) {
  if (p) p->Release();
  p = nullptr;
}

// The floor: WIC alone, from the file to the same bitmap on the screen.
bool Floor(const std::wstring& path) {
  IWICBitmapDecoder* decoder = nullptr;
  IWICBitmapFrameDecode* frame = nullptr;
  IWICBitmapScaler* scaler = nullptr;
  IWICFormatConverter* converter = nullptr;
  bool ok = false;
  UINT width = 0, height = 0;
  if (SUCCEEDED(g_factory->CreateDecoderFromFilename(path.c_str(), nullptr, GENERIC_READ,
                                                     WICDecodeMetadataCacheOnDemand, &decoder)) &&
      SUCCEEDED(decoder->GetFrame(0, &frame)) && SUCCEEDED(frame->GetSize(&width, &height))) {
    const SIZE size = Fit(static_cast<int>(width), static_cast<int>(height));
    IWICBitmapSource* source = frame;
    if (size.cx != static_cast<LONG>(width) || size.cy != static_cast<LONG>(height)) {
      if (SUCCEEDED(g_factory->CreateBitmapScaler(&scaler)) &&
          SUCCEEDED(scaler->Initialize(frame, size.cx, size.cy, WICBitmapInterpolationModeFant))) {
        source = scaler;
      }
    }
    if (SUCCEEDED(g_factory->CreateFormatConverter(&converter)) &&
        SUCCEEDED(converter->Initialize(source, GUID_WICPixelFormat32bppPBGRA,
                                        WICBitmapDitherTypeNone, nullptr, 0.0,
                                        WICBitmapPaletteTypeCustom))) {
      BITMAPINFO info{};
      info.bmiHeader = {sizeof info.bmiHeader, size.cx, -size.cy, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
      void* bits = nullptr;
      HBITMAP bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
      if (bitmap) {
        const UINT stride = static_cast<UINT>(size.cx) * 4;
        if (SUCCEEDED(converter->CopyPixels(nullptr, stride, stride * size.cy,
                                            static_cast<BYTE*>(bits)))) {
          Show(bitmap, size);
          ok = true;
        }
        DeleteObject(bitmap);
      }
    }
  }
  Release(converter);
  Release(scaler);
  Release(frame);
  Release(decoder);
  return ok;
}

// Committed private memory: what Task Manager calls private bytes.
double PrivateMiB() {
  std::uint64_t total = 0;
  MEMORY_BASIC_INFORMATION info;
  for (auto* at = static_cast<char*>(nullptr); VirtualQuery(at, &info, sizeof info) == sizeof info;
       at = static_cast<char*>(info.BaseAddress) + info.RegionSize) {
    if (info.State == MEM_COMMIT && info.Type == MEM_PRIVATE) total += info.RegionSize;
    if (static_cast<char*>(info.BaseAddress) + info.RegionSize < at) break;
  }
  return static_cast<double>(total) / (1 << 20);
}

void WorkingSetMiB(double* now, double* peak) {
  PROCESS_MEMORY_COUNTERS counters{};
  counters.cb = sizeof counters;
  GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
  *now = static_cast<double>(counters.WorkingSetSize) / (1 << 20);
  *peak = static_cast<double>(counters.PeakWorkingSetSize) / (1 << 20);
}

// GDI objects of this process. Wine's GetGuiResources answers 0; there the
// handle table is asked about every index instead (a handle with no
// generation bits matches any live object at that index).
int GdiObjects() {
  const DWORD counted = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
  if (counted) return static_cast<int>(counted);
  int live = 0;
  for (UINT_PTR index = 1; index < 0x10000; ++index) {
    if (GetObjectType(reinterpret_cast<HGDIOBJ>(index))) ++live;
  }
  return live;
}

BOOL CALLBACK CountWindow(HWND window, LPARAM count) {
  DWORD process = 0;
  GetWindowThreadProcessId(window, &process);
  if (process == GetCurrentProcessId()) {
    ++*reinterpret_cast<int*>(count);
    EnumChildWindows(window, CountWindow, count);
  }
  return TRUE;
}

// USER objects; under Wine, where GetGuiResources answers 0, our windows.
int UserObjects() {
  const DWORD counted = GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS);
  if (counted) return static_cast<int>(counted);
  int windows = 0;
  EnumWindows(CountWindow, reinterpret_cast<LPARAM>(&windows));
  return windows;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const std::size_t n = values.size();
  return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

int Compare(int reps, const std::vector<std::wstring>& files) {
  for (const std::wstring& file : files) {
    std::vector<double> ours, floor, load, render;
    host::Picture held;
    SIZE shown{};
    int width = 0, height = 0;
    Change(file, held, &shown);  // warm: the file in the cache, the DLLs loaded
    Floor(file);
    for (int i = 0; i < reps; ++i) {
      held.reset();
      double t0 = Now();
      if (!Change(file, held)) return 1;
      double t1 = Now();
      width = held->WidthPx();
      height = held->HeightPx();
      Pump();
      held.reset();
      double t2 = Now();
      if (!Floor(file)) return 1;
      double t3 = Now();
      Pump();
      ours.push_back(t1 - t0);
      floor.push_back(t3 - t2);
      load.push_back(g_loadMs);
      render.push_back(g_renderMs);
    }
    std::printf(
        "compare\t%ls\t%dx%d\tshown %ldx%ld\tchange %.1f ms (min %.1f; load %.1f, "
        "render+show %.1f)\tfloor %.1f ms (min %.1f)\tratio %.2f (of minima %.2f)\n",
        file.c_str(), width, height, shown.cx, shown.cy, Median(ours),
        *std::min_element(ours.begin(), ours.end()), Median(load), Median(render), Median(floor),
        *std::min_element(floor.begin(), floor.end()), Median(ours) / Median(floor),
        *std::min_element(ours.begin(), ours.end()) /
            *std::min_element(floor.begin(), floor.end()));
  }
  return 0;
}

int Peak(const std::wstring& file) {
  double before = PrivateMiB(), set = 0, peak = 0;
  host::Picture held;
  if (!Change(file, held)) return 1;
  WorkingSetMiB(&set, &peak);
  std::printf(
      "peak\t%ls\tprivate before %.1f MiB, holding the picture %.1f MiB\t"
      "peak working set %.1f MiB\n",
      file.c_str(), before, PrivateMiB(), peak);
  return 0;
}

// What the decoder itself holds: the peak working set before and after
// WIC, streaming from the file, has given every row of the first frame.
int Codec(const std::wstring& file) {
  double set = 0, before = 0, after = 0;
  WorkingSetMiB(&set, &before);
  IWICBitmapDecoder* decoder = nullptr;
  IWICBitmapFrameDecode* frame = nullptr;
  UINT width = 0, height = 0;
  if (FAILED(g_factory->CreateDecoderFromFilename(file.c_str(), nullptr, GENERIC_READ,
                                                  WICDecodeMetadataCacheOnDemand, &decoder)) ||
      FAILED(decoder->GetFrame(0, &frame)) || FAILED(frame->GetSize(&width, &height))) {
    return 1;
  }
  std::vector<BYTE> pixel(64);
  for (UINT y = 0; y < height; ++y) {
    const WICRect rect{0, static_cast<INT>(y), 1, 1};
    frame->CopyPixels(&rect, 64, 64, pixel.data());
  }
  Release(frame);
  Release(decoder);
  WorkingSetMiB(&set, &after);
  std::printf("codec\t%ls\tpeak working set %.1f MiB before, %.1f MiB after every row (+%.1f)\n",
              file.c_str(), before, after, after - before);
  return 0;
}

int Cycle(int changes, const std::vector<std::wstring>& files) {
  host::Picture held;
  // One round over the files first: DLLs, caches and GDI's stock objects
  // come into being on first use and stay.
  for (const std::wstring& file : files) Change(file, held), Pump();
  const double privateBefore = PrivateMiB();
  const int gdiBefore = GdiObjects(), userBefore = UserObjects();
  double setBefore = 0, peak = 0;
  WorkingSetMiB(&setBefore, &peak);
  const double t0 = Now();
  int failed = 0;
  for (int i = 0; i < changes; ++i) {
    if (!Change(files[i % files.size()], held)) ++failed;
    Pump();
  }
  const double seconds = (Now() - t0) / 1000;
  double setAfter = 0;
  WorkingSetMiB(&setAfter, &peak);
  std::printf("cycle\t%d changes over %zu files in %.1f s, %d failed\n", changes, files.size(),
              seconds, failed);
  std::printf(
      "cycle\tprivate bytes %.2f -> %.2f MiB (%+.2f)\tworking set %.1f -> %.1f MiB\t"
      "peak working set %.1f MiB\n",
      privateBefore, PrivateMiB(), PrivateMiB() - privateBefore, setBefore, setAfter, peak);
  std::printf("cycle\tGDI objects %d -> %d\tUSER objects %d -> %d\n", gdiBefore, GdiObjects(),
              userBefore, UserObjects());
  return failed ? 1 : 0;
}

PixelBuffer Noise(int w, int h) {
  PixelBuffer source(w, h);
  std::uint32_t state = 1;
  for (std::size_t i = 0; i < source.PixelCount(); ++i) {
    state = state * 1664525u + 1013904223u;
    source.Data()[i] = state | host::picture::kOpaqueBlack;
  }
  return source;
}

// The median time of REPS scalings of `source` to w2 x h2, on one core.
std::vector<double> ScaleTimes(const PixelBuffer& source, int w2, int h2, int reps,
                               const host::picture::ColourProfile* profile = nullptr) {
  PixelBuffer target(w2, h2);
  std::vector<double> times;
  for (int i = 0; i < reps; ++i) {
    const double t0 = Now();
    host::picture::Resample(source.View(), target.Target(), 1, profile);
    times.push_back(Now() - t0);
  }
  return times;
}

int Scale(int w, int h, int w2, int h2, int reps) {
  const std::vector<double> times = ScaleTimes(Noise(w, h), w2, h2, reps);
  std::printf("scale\t%dx%d -> %dx%d\t%.1f ms (min %.1f)\n", w, h, w2, h2, Median(times),
              *std::min_element(times.begin(), times.end()));
  return 0;
}

// The scaling with and without the matrix of the profile embedded in
// `file`, on one core.
int Matrix(const std::wstring& file, int w, int h, int w2, int h2, int reps) {
  std::vector<std::uint8_t> bytes(std::size_t{1} << 20);
  FILE* f = _wfopen(file.c_str(), L"rb");
  if (!f) return 1;
  bytes.resize(std::fread(bytes.data(), 1, bytes.size(), f));
  std::fclose(f);
  const std::vector<std::uint8_t> icc = host::picture::ReadEmbeddedProfile(bytes);
  const std::optional<host::picture::ColourProfile> profile =
      host::picture::ColourProfile::Parse(icc);
  if (!profile) return 1;
  const PixelBuffer source = Noise(w, h);
  for (const host::picture::ColourProfile* matrix :
       {static_cast<const host::picture::ColourProfile*>(nullptr), &*profile}) {
    const std::vector<double> times = ScaleTimes(source, w2, h2, reps, matrix);
    std::printf("matrix\t%dx%d -> %dx%d\t%s\t%.1f ms (min %.1f)\n", w, h, w2, h2,
                matrix ? "with the matrix" : "without", Median(times),
                *std::min_element(times.begin(), times.end()));
  }
  return 0;
}

int Reduce(int w, int h, int factor, int reps) {
  std::vector<std::uint8_t> rows(static_cast<std::size_t>(w) * 3 * 64);
  std::uint32_t state = 1;
  for (std::uint8_t& byte : rows) {
    state = state * 1664525u + 1013904223u;
    byte = static_cast<std::uint8_t>(state >> 24);
  }
  std::vector<double> times;
  for (int i = 0; i < reps; ++i) {
    const double t0 = Now();
    host::picture::BlockReducer reducer(w, h, factor);
    for (int y = 0; y < h; y += 64) reducer.AddBgrRows(rows.data(), std::min(64, h - y), w * 3);
    const PixelBuffer out = reducer.Finish();
    times.push_back(Now() - t0);
  }
  std::printf("reduce\t%dx%d by %d\t%.1f ms (min %.1f)\n", w, h, factor, Median(times),
              *std::min_element(times.begin(), times.end()));
  return 0;
}

// FNV-1a, 64 bits, of the size and every pixel.
std::uint64_t Hash(int width, int height, const host::picture::Pixel* pixels) {
  std::uint64_t hash = 0xcbf29ce484222325u;
  const auto add = [&hash](const void* data, std::size_t size) {
    for (std::size_t i = 0; i < size; ++i) {
      hash = (hash ^ static_cast<const std::uint8_t*>(data)[i]) * 0x100000001b3u;
    }
  };
  add(&width, sizeof width);
  add(&height, sizeof height);
  add(pixels, static_cast<std::size_t>(width) * height * sizeof *pixels);
  return hash;
}

// The load the saver makes ahead of a change (PreparePicture), with the
// bench's fit as the painted size: the pixels kept, and the bitmap made
// for that size (prepared, or rendered now when the load made none).
int Dump(const std::wstring& screens, const std::vector<std::wstring>& files) {
  for (std::size_t at = 0; at < screens.size();) {
    std::size_t end = screens.find(L',', at);
    if (end == std::wstring::npos) end = screens.size();
    if (std::swscanf(screens.substr(at, end - at).c_str(), L"%dx%d", &g_screenWidth,
                     &g_screenHeight) != 2) {
      return 2;
    }
    at = end + 1;
    for (const std::wstring& file : files) {
      const host::PaintedSize painted = [](host::SizePx natural) -> std::optional<host::SizePx> {
        const SIZE fit = Fit(natural.width, natural.height);
        return host::SizePx{fit.cx, fit.cy};
      };
      const auto load = host::win32::BeginPictureLoad(
          host::LoadRequest{host::Text(reinterpret_cast<const char16_t*>(file.c_str())),
                            {g_screenWidth, g_screenHeight},
                            {},
                            painted});
      WaitForSingleObject(host::win32::LoadFinishedEvent(*load), INFINITE);
      std::printf("dump\t%dx%d\t%ls", g_screenWidth, g_screenHeight, file.c_str());
      host::Picture picture;
      try {
        picture = load->Result();
      } catch (const host::RuntimeError& error) {
        std::printf("\terror %d\n", static_cast<int>(error.code()));
        continue;
      }
      const auto& wic = dynamic_cast<const host::win32::WicPicture&>(*picture);
      const PixelBuffer& pixels = wic.Pixels();
      std::printf(
          "\t%dx%d\tpixels %dx%d %016llx", wic.WidthPx(), wic.HeightPx(), pixels.Width(),
          pixels.Height(),
          static_cast<unsigned long long>(Hash(pixels.Width(), pixels.Height(), pixels.Data())));
      const SIZE fit = Fit(wic.WidthPx(), wic.HeightPx());
      HBITMAP bitmap = host::win32::TakeRenderedBitmap(wic, fit.cx, fit.cy);
      const bool prepared = bitmap != nullptr;
      if (!bitmap) bitmap = host::win32::RenderPictureBitmap(wic, fit.cx, fit.cy);
      DIBSECTION dib{};
      if (bitmap && GetObjectW(bitmap, sizeof dib, &dib) == sizeof dib) {
        std::printf("\t%s %ldx%ld %016llx", prepared ? "prepared" : "rendered", fit.cx, fit.cy,
                    static_cast<unsigned long long>(
                        Hash(fit.cx, fit.cy, static_cast<host::picture::Pixel*>(dib.dsBm.bmBits))));
      }
      if (bitmap) DeleteObject(bitmap);
      std::printf("\n");
    }
  }
  return 0;
}

}  // namespace

// One change taken apart: the steps the loader and the image control take
// for a 24-bit picture or one with 16 bits a channel, timed one by one on this thread (the loader's
// own threads share the reduction and the scaling; here they do too).
int Breakdown(int reps, const std::vector<std::wstring>& files) {
  std::printf("breakdown\tread\tdecode\tcopy out\treduce\tscale\tto DIB\tpaint\t(ms, medians)\n");
  for (const std::wstring& file : files) {
    std::vector<double> phase[7];
    for (int round = 0; round <= reps; ++round) {  // round 0 warms up
      double took[7] = {};
      double at = Now();
      const auto lap = [&at](double& into) {
        const double now = Now();
        into += now - at;
        at = now;
      };
      HANDLE handle = CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
      LARGE_INTEGER size{};
      GetFileSizeEx(handle, &size);
      std::vector<BYTE> bytes(static_cast<std::size_t>(size.QuadPart));
      DWORD read = 0;
      ReadFile(handle, bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr);
      CloseHandle(handle);
      lap(took[0]);
      IWICStream* stream = nullptr;
      IWICBitmapDecoder* decoder = nullptr;
      IWICBitmapFrameDecode* frame = nullptr;
      UINT w = 0, h = 0;
      WICPixelFormatGUID format{};
      if (FAILED(g_factory->CreateStream(&stream)) ||
          FAILED(stream->InitializeFromMemory(bytes.data(), read)) ||
          FAILED(g_factory->CreateDecoderFromStream(stream, nullptr, WICDecodeMetadataCacheOnDemand,
                                                    &decoder)) ||
          FAILED(decoder->GetFrame(0, &frame)) || FAILED(frame->GetSize(&w, &h)) ||
          FAILED(frame->GetPixelFormat(&format))) {
        std::printf("%ls: not a picture WIC opens\n", file.c_str());
        return 1;
      }
      const std::optional<host::picture::Layout16> deep =
          host::picture::DeepLayout(host::win32::StoredLayout(format));
      if (!deep && !IsEqualGUID(format, GUID_WICPixelFormat24bppBGR)) {
        std::printf("%ls: neither 24-bit nor 16 bits a channel\n", file.c_str());
        return 1;
      }
      const int width = static_cast<int>(w), height = static_cast<int>(h);
      const UINT stride = w * (deep ? 2 * deep->channels : 3);
      const int band = std::max(1, (1 << 20) / (width * 4));
      std::vector<BYTE> rows(static_cast<std::size_t>(stride) * band);
      const WICRect first{0, 0, width, 1};
      frame->CopyPixels(&first, stride, stride, rows.data());  // Wine decodes it all here
      lap(took[1]);
      const int factor =
          host::picture::PrescaleFactor(width, height, g_screenWidth, g_screenHeight);
      host::picture::BlockReducer reducer(width, height, factor, 2);
      for (int y = 0; y < height; y += band) {
        const int n = std::min(band, height - y);
        const WICRect rect{0, y, width, n};
        frame->CopyPixels(&rect, stride, stride * n, rows.data());
        lap(took[2]);
        if (deep) {
          auto* samples = reinterpret_cast<std::uint16_t*>(rows.data());
          host::picture::CompositeOverBlack16(samples, w * n, *deep);
          reducer.AddRows16(samples, n, stride / 2, *deep);
        } else {
          reducer.AddBgrRows(rows.data(), n, static_cast<int>(stride));
        }
        lap(took[3]);
      }
      const PixelBuffer reduced = reducer.Finish();
      lap(took[3]);
      Release(frame);
      Release(decoder);
      Release(stream);
      const SIZE fit = Fit(width, height);
      at = Now();
      const PixelBuffer scaled = host::picture::Resample(reduced.View(), fit.cx, fit.cy, 2);
      lap(took[4]);
      BITMAPINFO info{};
      info.bmiHeader = {sizeof info.bmiHeader, fit.cx, -fit.cy, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
      void* bits = nullptr;
      HBITMAP bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
      std::copy_n(scaled.Data(), scaled.PixelCount(), static_cast<host::picture::Pixel*>(bits));
      lap(took[5]);
      Show(bitmap, fit);
      DeleteObject(bitmap);
      lap(took[6]);
      if (round == 0) continue;
      for (int i = 0; i < 7; ++i) phase[i].push_back(took[i]);
    }
    std::printf("%ls", file.c_str());
    for (auto& times : phase) std::printf("\t%.1f", Median(times));
    std::printf("\n");
  }
  return 0;
}

int wmain(int argc, wchar_t** argv) {
  if (argc < 3) {
    std::fputs(
        "usage: picture_bench compare REPS FILE... | peak FILE | cycle N FILE... | "
        "scale W H W2 H2 REPS\n",
        stderr);
    return 2;
  }
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  SetProcessDPIAware();
  const std::wstring command = argv[1];
  if (command == L"reduce" && argc >= 6) {
    return Reduce(_wtoi(argv[2]), _wtoi(argv[3]), _wtoi(argv[4]), _wtoi(argv[5]));
  }
  if (command == L"matrix" && argc >= 8) {
    return Matrix(argv[2], _wtoi(argv[3]), _wtoi(argv[4]), _wtoi(argv[5]), _wtoi(argv[6]),
                  _wtoi(argv[7]));
  }
  if (command == L"scale" && argc >= 7) {
    return Scale(_wtoi(argv[2]), _wtoi(argv[3]), _wtoi(argv[4]), _wtoi(argv[5]), _wtoi(argv[6]));
  }
  if (command == L"dump" && argc >= 4) {
    const int result = Dump(argv[2], std::vector<std::wstring>(argv + 3, argv + argc));
    std::fflush(stdout);
    return result;
  }
  MakeScreen();
  CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IWICImagingFactory,
                   reinterpret_cast<void**>(&g_factory));
  std::vector<std::wstring> files;
  for (int i = command == L"peak" || command == L"codec" ? 2 : 3; i < argc; ++i)
    files.push_back(argv[i]);
  int result = 2;
  if (command == L"compare" && !files.empty()) result = Compare(_wtoi(argv[2]), files);
  if (command == L"peak" && files.size() == 1) result = Peak(files[0]);
  if (command == L"codec" && files.size() == 1) result = Codec(files[0]);
  if (command == L"cycle" && !files.empty()) result = Cycle(_wtoi(argv[2]), files);
  if (command == L"breakdown" && !files.empty()) result = Breakdown(_wtoi(argv[2]), files);
  std::fflush(stdout);
  return result;
}
