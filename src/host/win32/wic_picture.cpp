#include "host/win32/wic_picture.h"

#include <objbase.h>
#include <process.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <new>
#include <optional>
#include <utility>
#include <vector>

#include "host/picture/colour_profile.h"
#include "host/picture/pipeline.h"
#include "host/runtime.h"
#include "host/win32/wic_colour.h"
#include "host/win32/wic_common.h"
#include "host/win32/wic_pixels.h"
#include "host/win32/wic_source.h"
#include "host/win32/wide.h"

namespace host::win32 {

namespace {

using picture::PixelBuffer;

// One load, shared by the caller and the thread that does it: whichever
// lets go last frees it, so a caller that stops waiting leaves the thread
// nothing dangling. The caller reads what the thread writes once
// `finished` is set, the stamp once `stamped` is.
struct Job {
  Job() : finished(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}
  Job(const Job&) = delete;
  Job& operator=(const Job&) = delete;
  ~Job() {
    if (finished) CloseHandle(finished);
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
  }
  LoadRequest request;
  std::atomic<bool> ahead{false};      // prepared before it is needed: no hurry until waited for
  std::vector<std::uint8_t> bytes;     // the whole file, or its head when it is large
  HANDLE file = INVALID_HANDLE_VALUE;  // open while the decoder reads the rest
  std::uint64_t fileSize = 0;
  FileStamp stamp;
  std::atomic<bool> stamped{false};
  std::atomic<bool> readFailed{false};
  std::atomic<bool> abandoned{false};
  HANDLE finished;  // set when the job has done all it will
  bool done = false;
  bool lasting = false;  // the decoder refused the bytes
  ErrorCode error = ErrorCode::InvalidPicture;
  PixelBuffer pixels;
  int width = 0, height = 0;                      // natural size, upright
  std::optional<picture::ColourProfile> profile;  // whose matrix the pixels still need
  std::shared_ptr<WicPicture> picture;            // once done
};

ErrorCode OpenError(DWORD error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
    case ERROR_BAD_PATHNAME:
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_NETPATH:
      return ErrorCode::FileNotFound;
    default:
      return ErrorCode::InvalidPicture;
  }
}

// What of a file is read into memory: all of a small one; of a larger one
// its head, where the headers our own checks read stand (the format and
// size, the EXIF orientation, a JPEG's colour profile), while the decoder
// reads the rest from the file as it goes and no copy of it is held.
constexpr std::size_t kHeadBytes = std::size_t{4} << 20;

std::uint64_t Wide(DWORD high, DWORD low) { return (std::uint64_t{high} << 32) | low; }

// The file's identity as the handle tells it. The change time comes with
// Vista's by-handle information; without it the rest still tells most.
std::optional<FileStamp> StampOf(HANDLE file) {
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(file, &info)) return std::nullopt;
  FILE_BASIC_INFO basic{};
  const bool changeKnown = GetFileInformationByHandleEx(file, FileBasicInfo, &basic, sizeof basic);
  return FileStamp{info.dwVolumeSerialNumber, Wide(info.nFileIndexHigh, info.nFileIndexLow),
                   Wide(info.nFileSizeHigh, info.nFileSizeLow),
                   Wide(info.ftLastWriteTime.dwHighDateTime, info.ftLastWriteTime.dwLowDateTime),
                   changeKnown ? static_cast<std::uint64_t>(basic.ChangeTime.QuadPart) : 0};
}

// Opens the file and takes its stamp: false when the stamp is one the
// request skips. Shared as a reader that gets out of the way, so that the
// file may be replaced, renamed or deleted while it is read.
bool OpenFile(Job& job) {
  job.file = CreateFileW(W(job.request.path), GENERIC_READ,
                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (job.file == INVALID_HANDLE_VALUE) Fail(OpenError(GetLastError()));
  if (GetFileType(job.file) != FILE_TYPE_DISK) Fail();
  if (const std::optional<FileStamp> stamp = StampOf(job.file)) {
    job.stamp = *stamp;
    job.stamped.store(true, std::memory_order_release);
    if (std::ranges::count(job.request.skip, *stamp) > 0) return false;
  }
  return true;
}

// The head of a regular file of at most kMaxFileBytes; a file read whole
// is closed at once, so that nothing holds it while it decodes.
void ReadFileHead(Job& job) {
  LARGE_INTEGER size;
  if (!GetFileSizeEx(job.file, &size)) Fail();
  if (size.QuadPart <= 0 || static_cast<std::uint64_t>(size.QuadPart) > kMaxFileBytes) Fail();
  job.fileSize = static_cast<std::uint64_t>(size.QuadPart);
  job.bytes.resize(static_cast<std::size_t>(std::min<std::uint64_t>(job.fileSize, kHeadBytes)));
  DWORD got = 0;
  if (!ReadFile(job.file, job.bytes.data(), static_cast<DWORD>(job.bytes.size()), &got, nullptr)) {
    job.readFailed = true;
    Fail();
  }
  job.bytes.resize(got);  // the file may have become shorter
  if (job.fileSize <= got) CloseHandle(std::exchange(job.file, INVALID_HANDLE_VALUE));
}

// The file and its bytes go as soon as they are no longer needed: the file
// is not kept open for the picture's turn, in which it may be replaced.
void ReleaseFile(Job& job) {
  job.bytes = {};
  if (job.file != INVALID_HANDLE_VALUE) CloseHandle(std::exchange(job.file, INVALID_HANDLE_VALUE));
}

void Decode(Job& job, Com<IWICImagingFactory>& factory) {
  const picture::Bytes bytes(job.bytes.data(), job.bytes.size());
  const picture::PictureHeader header = picture::CheckedHeader(bytes, job.fileSize);
  Source source;
  OpenSource(SourceFile{job.bytes, job.file, job.fileSize, job.readFailed}, factory, header.format,
             source);
  const picture::Layout layout = LayOut(source.frame.Get(), header, bytes);
  const picture::FrameSize upright = layout.Upright();
  job.width = upright.width;
  job.height = upright.height;
  const std::optional<picture::ColourProfile> profile =
      PictureProfile(factory.Get(), source.frame.Get(), bytes);
  const std::unique_ptr<picture::Frame> frame = MakeFrame(factory.Get(), source.frame.Get());
  const SizePx& screen = job.request.showWithin;
  job.pixels = picture::ReadPixels(
      *frame, layout,
      {{screen.width, screen.height}, &job.abandoned, profile ? &*profile : nullptr, Processors});
  // A grey profile's matrix takes grey to the same grey: only its curve
  // counts, and that is applied already.
  if (profile && profile->ColourSpace() == picture::ColourProfile::Space::Rgb) {
    job.profile = profile;
  }
}

// A picture comes with the bitmap it will be painted with, when the
// request knows its size, so that its change only has to show it: scaling
// takes a large picture tens of milliseconds.
void Prerender(WicPicture& picture, const PaintedSize& paintedSize) {
  if (!paintedSize) return;
  const std::optional<SizePx> painted = paintedSize({picture.WidthPx(), picture.HeightPx()});
  const std::optional<picture::FrameSize> size = picture::PreparedSize(
      painted ? std::optional(picture::FrameSize{painted->width, painted->height}) : std::nullopt,
      picture.Pixels(), picture.Profile());
  if (!size) return;
  picture.KeepRendered(RenderPictureBitmap(picture, size->width, size->height),
                       SIZE{size->width, size->height});
}

// A failure the file's bytes are to blame for holds while the file keeps
// its stamp; one of the file system's, of memory or of a thread passes.
void Work(Job& job, Com<IWICImagingFactory>& factory) {
  bool headRead = false;
  try {
    // A file the caller knows already (its stamp is skipped) is not read.
    if (OpenFile(job)) {
      ReadFileHead(job);
      headRead = true;
      Decode(job, factory);
      ReleaseFile(job);  // before the bitmap needs memory
      job.picture = std::make_shared<WicPicture>(std::move(job.pixels), job.width, job.height,
                                                 std::move(job.profile));
      Prerender(*job.picture, job.request.paintedSize);
      job.done = true;
      job.lasting = true;
    }
  } catch (const Failure& failure) {
    job.error = failure.code;
    job.lasting = headRead && failure.code == ErrorCode::InvalidPicture && !job.readFailed;
  } catch (const std::bad_alloc&) {
    job.error = ErrorCode::OutOfMemory;
  } catch (...) {
    job.error = ErrorCode::InvalidPicture;
  }
  ReleaseFile(job);
}

// The thread that loads pictures, one job at a time, with its own COM
// apartment and imaging factory. It lives as long as the process, unless a
// job overruns: then it is retired, goes when that job ends (if ever), and
// the next load starts a new one.
class Worker {
 public:
  static std::shared_ptr<Worker> Start() {
    auto worker = std::shared_ptr<Worker>(new Worker());
    if (!worker->wake_) return nullptr;
    auto* parameter = new std::shared_ptr<Worker>(worker);
    worker->thread_ =
        reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, Main, parameter, 0, nullptr));
    if (!worker->thread_) {
      delete parameter;
      return nullptr;
    }
    return worker;
  }

  Worker(const Worker&) = delete;
  Worker& operator=(const Worker&) = delete;
  ~Worker() {
    if (thread_) CloseHandle(thread_);
    if (wake_) CloseHandle(wake_);
    DeleteCriticalSection(&lock_);
  }

  void Post(std::shared_ptr<Job> job) {
    EnterCriticalSection(&lock_);
    pending_ = std::move(job);
    LeaveCriticalSection(&lock_);
    SetEvent(wake_);
  }

  void Retire() {
    EnterCriticalSection(&lock_);
    retired_ = true;
    LeaveCriticalSection(&lock_);
    SetEvent(wake_);
  }

  // Someone waits for the job now, or has given it up: it runs at the
  // normal priority, up to its end. No lock is held for it: the thread
  // looks at `ahead` again after it lowered its priority for the job.
  void Hurry(Job& job) {
    job.ahead = false;
    SetThreadPriority(thread_, THREAD_PRIORITY_NORMAL);
  }

 private:
  Worker() : wake_(CreateEventW(nullptr, FALSE, FALSE, nullptr)) {
    InitializeCriticalSection(&lock_);
  }

  static unsigned __stdcall Main(void* parameter) {
    std::shared_ptr<Worker> self = std::move(*static_cast<std::shared_ptr<Worker>*>(parameter));
    delete static_cast<std::shared_ptr<Worker>*>(parameter);
    const HRESULT com = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    {
      Com<IWICImagingFactory> factory;
      for (;;) {
        WaitForSingleObject(self->wake_, INFINITE);
        EnterCriticalSection(&self->lock_);
        std::shared_ptr<Job> job = std::move(self->pending_);
        const bool retired = self->retired_;
        LeaveCriticalSection(&self->lock_);
        if (job) {
          // A preparation gives way to everything else on the machine until
          // it is waited for; its wait counts from then (PictureLoader).
          if (job->ahead) SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_IDLE);
          if (!job->ahead) SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_NORMAL);
          Work(*job, factory);
          SetEvent(job->finished);
        }
        if (retired) break;
      }
    }
    if (SUCCEEDED(com)) CoUninitialize();
    return 0;
  }

  HANDLE thread_ = nullptr;
  HANDLE wake_;
  CRITICAL_SECTION lock_;
  std::shared_ptr<Job> pending_;
  bool retired_ = false;
};

// The worker that takes the next load: started on first use, replaced once
// a load is given up on it.
std::shared_ptr<Worker>& CurrentWorker() {
  static std::shared_ptr<Worker> worker;
  return worker;
}

// A load as the toolkit sees it. Its job is shared with the worker thread;
// whichever lets go last frees the file's bytes and the pixels.
class WicLoad final : public PictureLoad {
 public:
  WicLoad(std::shared_ptr<Job> job, std::shared_ptr<Worker> worker)
      : job_(std::move(job)), worker_(std::move(worker)) {}
  bool Finished() override { return WaitForSingleObject(job_->finished, 0) == WAIT_OBJECT_0; }
  Picture Result() override {
    if (!job_->done) throw RuntimeError(job_->error);
    return job_->picture;
  }
  std::optional<FileStamp> Stamp() override {
    if (!job_->stamped.load(std::memory_order_acquire)) return std::nullopt;
    return job_->stamp;
  }
  bool Lasting() override { return Finished() && job_->lasting; }
  void GiveUp() override {
    job_->abandoned = true;
    if (!worker_) return;
    worker_->Hurry(*job_);
    worker_->Retire();
    if (CurrentWorker() == worker_) CurrentWorker().reset();
  }
  void Hurry() {
    if (worker_) worker_->Hurry(*job_);
  }
  HANDLE FinishedEvent() const { return job_->finished; }

 private:
  std::shared_ptr<Job> job_;
  std::shared_ptr<Worker> worker_;
};

}  // namespace

std::shared_ptr<PictureLoad> BeginPictureLoad(LoadRequest request, bool ahead) {
  auto job = std::make_shared<Job>();
  job->request = std::move(request);
  job->ahead = ahead;
  if (!job->finished) throw RuntimeError(ErrorCode::OutOfMemory, "no event for the load");
  std::shared_ptr<Worker>& worker = CurrentWorker();
  if (!worker) worker = Worker::Start();
  if (!worker) {
    // No thread to be had (stuck decodes may hold the address space): a
    // decode here would have neither the time limit nor the input check.
    job->error = ErrorCode::OutOfMemory;
    SetEvent(job->finished);
  } else {
    worker->Post(job);
  }
  return std::make_shared<WicLoad>(std::move(job), worker);
}

HANDLE LoadFinishedEvent(const PictureLoad& load) {
  return static_cast<const WicLoad&>(load).FinishedEvent();
}

void HurryLoad(PictureLoad& load) { static_cast<WicLoad&>(load).Hurry(); }

Picture LoadPictureFile(const Text& path, SIZE showWithin) {
  const std::shared_ptr<PictureLoad> load =
      BeginPictureLoad(LoadRequest{path, SizePx{showWithin.cx, showWithin.cy}, {}, {}});
  WaitForSingleObject(LoadFinishedEvent(*load), INFINITE);
  return load->Result();
}

}  // namespace host::win32
