#include "dialog_layout.h"

#include <cstdint>
#include <string>

namespace tf::test {

namespace {

// The DPI functions of Windows 10, looked up: the build targets Windows 7.
using SetThreadContextFn = DPI_AWARENESS_CONTEXT(WINAPI*)(DPI_AWARENESS_CONTEXT);
using WindowDpiFn = UINT(WINAPI*)(HWND);
const DPI_AWARENESS_CONTEXT kPerMonitorV2 = reinterpret_cast<DPI_AWARENESS_CONTEXT>(static_cast<intptr_t>(-4));

template <typename Fn>
Fn User32(const char* name) {
  return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), name)));
}

// A window's device context with a font selected, given back at the end.
class WindowDc {
 public:
  WindowDc(HWND window, HFONT font) : window_(window), dc_(GetDC(window)) {
    if (dc_ && font) old_ = SelectObject(dc_, font);
  }
  ~WindowDc() {
    if (old_) SelectObject(dc_, old_);
    if (dc_) ReleaseDC(window_, dc_);
  }
  WindowDc(const WindowDc&) = delete;
  WindowDc& operator=(const WindowDc&) = delete;
  HDC Get() const { return dc_; }

 private:
  HWND window_;
  HDC dc_;
  HGDIOBJ old_ = nullptr;
};

struct Control {
  HWND window;
  int id;
  std::wstring className;
  LONG style;
  RECT rect;  // in the dialog's client coordinates
};

std::vector<Control> Controls(HWND dialog) {
  std::vector<Control> controls;
  for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    const LONG style = GetWindowLongW(child, GWL_STYLE);
    if (!(style & WS_VISIBLE)) continue;
    wchar_t name[64] = {};
    GetClassNameW(child, name, 64);
    RECT r{};
    GetWindowRect(child, &r);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&r), 2);
    controls.push_back({child, GetDlgCtrlID(child), name, style, r});
  }
  return controls;
}

std::wstring Text(HWND window) {
  const int length = GetWindowTextLengthW(window);
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  text.resize(static_cast<size_t>(GetWindowTextW(window, text.data(), length + 1)));
  return text;
}

// The room, in pixels, that a control needs for its text; {0, 0} for kinds not measured.
SIZE Needed(const Control& c, int dpi) {
  auto scale = [dpi](int pixelsAt96) { return MulDiv(pixelsAt96, dpi, 96); };
  const std::wstring text = Text(c.window);
  RECT client{};
  GetClientRect(c.window, &client);
  WindowDc dc(c.window, reinterpret_cast<HFONT>(SendMessageW(c.window, WM_GETFONT, 0, 0)));
  if (!dc.Get()) return {0, 0};
  auto measure = [&](UINT flags) {
    RECT r{0, 0, client.right, 0};
    DrawTextW(dc.Get(), text.c_str(), static_cast<int>(text.size()), &r, DT_CALCRECT | flags);
    return SIZE{r.right, r.bottom};
  };
  if (_wcsicmp(c.className.c_str(), L"Static") == 0) {
    const LONG type = c.style & SS_TYPEMASK;
    if (text.empty() || (type != SS_LEFT && type != SS_CENTER && type != SS_RIGHT)) return {0, 0};
    return measure(DT_WORDBREAK | DT_EXPANDTABS | (c.style & SS_NOPREFIX ? DT_NOPREFIX : 0) |
                   (c.style & SS_EDITCONTROL ? DT_EDITCONTROL : 0));
  }
  if (_wcsicmp(c.className.c_str(), L"Button") == 0) {
    const LONG type = c.style & BS_TYPEMASK;
    SIZE s = measure(DT_SINGLELINE);
    if (type == BS_PUSHBUTTON || type == BS_DEFPUSHBUTTON) return {s.cx + 2 * scale(6), s.cy + 2 * scale(3)};
    if (type == BS_CHECKBOX || type == BS_AUTOCHECKBOX || type == BS_3STATE || type == BS_AUTO3STATE ||
        type == BS_RADIOBUTTON || type == BS_AUTORADIOBUTTON)
      return {scale(18) + s.cx + 1, s.cy};  // the box, the gap to the text, the focus frame
    return {0, 0};
  }
  if (_wcsicmp(c.className.c_str(), L"Edit") == 0 && !(c.style & ES_MULTILINE)) {
    TEXTMETRICW metrics{};
    GetTextMetricsW(dc.Get(), &metrics);
    return {0, metrics.tmHeight};
  }
  return {0, 0};
}

std::string Id(const Control& c) { return "control " + std::to_string(c.id); }

std::string Size(LONG cx, LONG cy) { return std::to_string(cx) + "x" + std::to_string(cy); }

}  // namespace

ProgramDialog::ProgramDialog(const std::wstring& program, int templateId, DLGPROC procedure, void* state)
    : resources_(LoadLibraryExW(program.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE)) {
  if (!resources_) return;
  const auto setContext = User32<SetThreadContextFn>("SetThreadDpiAwarenessContext");
  DPI_AWARENESS_CONTEXT before = setContext ? setContext(kPerMonitorV2) : nullptr;
  window_ = CreateDialogParamW(resources_, MAKEINTRESOURCEW(templateId), nullptr, procedure,
                               reinterpret_cast<LPARAM>(state));
  if (before) setContext(before);
}

ProgramDialog::~ProgramDialog() {
  if (window_) DestroyWindow(window_);
  if (resources_) FreeLibrary(resources_);
}

std::vector<std::string> LayoutProblems(HWND dialog) {
  std::vector<std::string> problems;
  RECT client{};
  GetClientRect(dialog, &client);
  const auto windowDpi = User32<WindowDpiFn>("GetDpiForWindow");
  const int dpi = windowDpi ? static_cast<int>(windowDpi(dialog)) : 96;
  const std::vector<Control> controls = Controls(dialog);
  for (size_t i = 0; i < controls.size(); ++i) {
    const Control& c = controls[i];
    RECT common{};
    if (c.rect.left < 0 || c.rect.top < 0 || c.rect.right > client.right || c.rect.bottom > client.bottom)
      problems.push_back(Id(c) + " lies outside the dialog");
    for (size_t j = i + 1; j < controls.size(); ++j)
      if (IntersectRect(&common, &c.rect, &controls[j].rect))
        problems.push_back(Id(c) + " and " + Id(controls[j]) + " overlap");
    RECT has{};
    GetClientRect(c.window, &has);
    const SIZE needs = Needed(c, dpi);
    if (needs.cx > has.right || needs.cy > has.bottom)
      problems.push_back(Id(c) + " needs " + Size(needs.cx, needs.cy) + " pixels for its text and has " +
                         Size(has.right, has.bottom));
  }
  return problems;
}

int InkRight(HWND control) {
  RECT client{};
  GetClientRect(control, &client);
  if (client.right <= 0 || client.bottom <= 0) return -1;
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = client.right;
  info.bmiHeader.biHeight = -client.bottom;  // top-down
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HDC memory = CreateCompatibleDC(nullptr);
  int right = -1;
  if (bitmap && memory) {
    HGDIOBJ old = SelectObject(memory, bitmap);
    SendMessageW(control, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(memory), PRF_CLIENT | PRF_ERASEBKGND);
    GdiFlush();
    const auto* pixels = static_cast<const uint32_t*>(bits);
    const int width = client.right, height = client.bottom;
    const uint32_t background = pixels[static_cast<size_t>(height) * width - 1] & 0xFFFFFF;
    for (int x = width - 1; x >= 0 && right < 0; --x)
      for (int y = 0; y < height; ++y)
        if ((pixels[static_cast<size_t>(y) * width + x] & 0xFFFFFF) != background) {
          right = x;
          break;
        }
    SelectObject(memory, old);
  }
  if (memory) DeleteDC(memory);
  if (bitmap) DeleteObject(bitmap);
  return right;
}

}  // namespace tf::test
