/* A stand-in for libXinerama.so.1 that reports the heads named in
 * ZARVO_XINERAMA_HEADS ("WxH+X+Y,WxH+X+Y,...", in X root coordinates), so
 * that Wine, on an X server without RANDR, sees several monitors on one
 * Xvfb screen. Wine takes the first head as the primary monitor.
 *
 * No system header is included, so that it builds for i386 with a plain
 * amd64 gcc (-m32) and no 32-bit C library headers; malloc and getenv come
 * from the C library already in every process that loads it, and Xlib's
 * XFree frees what XineramaQueryScreens returns with free(). */

typedef __SIZE_TYPE__ size_t_;
typedef struct _XDisplay Display;
typedef int Bool;

typedef struct {
  int screen_number;
  short x_org;
  short y_org;
  short width;
  short height;
} XineramaScreenInfo;

extern void *malloc(size_t_ size);
extern char *getenv(const char *name);

#define MAX_HEADS 16

static const char *number(const char *p, int *value) {
  int sign = 1, n = 0, digits = 0;
  if (*p == '-') sign = -1, ++p;
  else if (*p == '+') ++p;
  for (; *p >= '0' && *p <= '9' && digits < 6; ++p, ++digits) n = n * 10 + (*p - '0');
  *value = sign * n;
  return digits ? p : 0;
}

/* The heads of the variable, or 0 when it is unset or malformed. */
static int heads(XineramaScreenInfo *out) {
  const char *p = getenv("ZARVO_XINERAMA_HEADS");
  int count = 0;
  if (!p || !*p) return 0;
  while (count < MAX_HEADS) {
    int w, h, x, y;
    if (!(p = number(p, &w)) || *p++ != 'x' || !(p = number(p, &h)) ||
        (*p != '+' && *p != '-') || !(p = number(p, &x)) ||
        (*p != '+' && *p != '-') || !(p = number(p, &y)) || w <= 0 || h <= 0)
      return 0;
    out[count].screen_number = count;
    out[count].x_org = (short)x;
    out[count].y_org = (short)y;
    out[count].width = (short)w;
    out[count].height = (short)h;
    ++count;
    if (!*p) return count;
    if (*p++ != ',') return 0;
  }
  return 0;
}

Bool XineramaQueryExtension(Display *display, int *event_base, int *error_base) {
  XineramaScreenInfo found[MAX_HEADS];
  (void)display;
  if (event_base) *event_base = 0;
  if (error_base) *error_base = 0;
  return heads(found) > 0;
}

int XineramaQueryVersion(Display *display, int *major, int *minor) {
  (void)display;
  if (major) *major = 1;
  if (minor) *minor = 1;
  return 1;
}

Bool XineramaIsActive(Display *display) {
  XineramaScreenInfo found[MAX_HEADS];
  (void)display;
  return heads(found) > 0;
}

XineramaScreenInfo *XineramaQueryScreens(Display *display, int *number_of_heads) {
  XineramaScreenInfo found[MAX_HEADS], *copy;
  int count = heads(found), i;
  (void)display;
  *number_of_heads = 0;
  if (!count || !(copy = malloc(sizeof(XineramaScreenInfo) * (unsigned)count))) return 0;
  for (i = 0; i < count; ++i) copy[i] = found[i];
  *number_of_heads = count;
  return copy;
}
