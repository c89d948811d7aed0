// The toolkit's window side over user32: windows made on the first GetHandle, the platform
// classes "BUTTON" and "EDIT" for controls with one window procedure in front of theirs, click
// and colour requests sent back from the parent to the child, and the message loop.
#include "ui/Win32Native.h"

namespace audiolens::ui {

namespace {

bool Running = false;
TWindow* MainForm = nullptr;
// The object whose window is being created: its first messages come before the user data is set.
TNativeWindow* Creating = nullptr;
constexpr const char* FormClass = "Form";

TNativeWindow* NativeOf(HWND handle) {
    return reinterpret_cast<TNativeWindow*>(GetWindowLongPtrA(handle, GWLP_USERDATA));
}

LRESULT PassOn(TNativeWindow* native, HWND handle, UINT message, WPARAM wParam, LPARAM lParam) {
    if (native && native->BaseProc)
        return CallWindowProcA(native->BaseProc, handle, message, wParam, lParam);
    return DefWindowProcA(handle, message, wParam, lParam);
}

// The brush and text colours a control is painted with: its own colour as background.
LRESULT ControlColor(TNativeWindow* child, HDC dc) {
    uint32_t color = child->Owner->Color();
    COLORREF rgb;
    HBRUSH brush;
    if (color & SystemColorBit) {
        int index = static_cast<int>(color & 0xFF);
        rgb = GetSysColor(index);
        brush = GetSysColorBrush(index);
    } else {
        rgb = color & 0xFFFFFF;
        if (!child->Brush) child->Brush = CreateSolidBrush(rgb);
        brush = child->Brush;
    }
    SetBkColor(dc, rgb);
    SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
    return reinterpret_cast<LRESULT>(brush);
}

LRESULT CALLBACK ToolkitProc(HWND handle, UINT message, WPARAM wParam, LPARAM lParam) {
    TNativeWindow* native = NativeOf(handle);
    if (!native && Creating && !Creating->Handle) native = Creating;
    if (!native) return DefWindowProcA(handle, message, wParam, lParam);
    switch (message) {
    case WM_COMMAND: {
        // A child's notification goes to the child's object: its click action, then its event.
        auto child = reinterpret_cast<HWND>(lParam);
        TNativeWindow* control = child ? NativeOf(child) : nullptr;
        if (control && control->Owner && HIWORD(wParam) == BN_CLICKED) {
            control->Owner->Click();
            return 0;
        }
        break;
    }
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN: {
        TNativeWindow* control = NativeOf(reinterpret_cast<HWND>(lParam));
        if (control && control->Owner) return ControlColor(control, reinterpret_cast<HDC>(wParam));
        break;
    }
    case WM_ERASEBKGND:
        // The platform's group box paints only its frame and caption; controls placed inside it
        // need its background filled.
        if (native->Owner && native->Owner->Kind() == TWindowKind::GroupBox) {
            RECT client;
            GetClientRect(handle, &client);
            FillRect(reinterpret_cast<HDC>(wParam), &client, GetSysColorBrush(COLOR_BTNFACE));
            return 1;
        }
        break;
    case WM_CLOSE:
        if (native->Owner && native->Owner->OnClose) native->Owner->OnClose(*native->Owner);
        break;
    case WM_DESTROY:
        if (native->Owner && native->Owner == MainForm) PostQuitMessage(0);
        break;
    case WM_ENDSESSION:
        // The user logs off or the system shuts down: the program ends as if closed.
        if (wParam && native->Owner == MainForm) PostQuitMessage(0);
        break;
    case WM_NCDESTROY: {
        LRESULT result = PassOn(native, handle, message, wParam, lParam);
        native->Handle = nullptr;
        return result;
    }
    default:
        break;
    }
    return PassOn(native, handle, message, wParam, lParam);
}

bool RegisterFormClass(HINSTANCE instance) {
    WNDCLASSA known{};
    if (GetClassInfoA(instance, FormClass, &known)) return true;
    WNDCLASSA form{};
    form.lpfnWndProc = ToolkitProc;
    form.hInstance = instance;
    form.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
    form.hIcon = LoadIconA(nullptr, reinterpret_cast<LPCSTR>(IDI_APPLICATION));
    form.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    form.lpszClassName = FormClass;
    return RegisterClassA(&form) != 0;
}

void Styles(const TWindow& w, DWORD& style, DWORD& exStyle) {
    style = exStyle = 0;
    switch (w.Kind()) {
    case TWindowKind::Form:
        style = WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN;
        break;
    case TWindowKind::Button:
        style = WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON;
        break;
    case TWindowKind::GroupBox:
        style = WS_CHILD | WS_VISIBLE | BS_GROUPBOX;
        break;
    case TWindowKind::RadioButton:
        // Not auto-checking: the toolkit's own click action checks the group.
        style = WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_RADIOBUTTON;
        break;
    case TWindowKind::Memo:
        style = WS_CHILD | WS_VISIBLE | WS_TABSTOP;
        if (w.MemoOptions() & moMultiLine)
            style |= ES_MULTILINE | ES_AUTOVSCROLL | ES_AUTOHSCROLL | WS_VSCROLL | WS_HSCROLL |
                     ES_WANTRETURN;
        else
            style |= ES_AUTOHSCROLL;
        if (w.MemoOptions() & moReadOnly) style |= ES_READONLY;
        exStyle = WS_EX_CLIENTEDGE;
        break;
    }
}

// A form's bounds give the client area; the window around it is larger by its frame.
RECT OuterRect(const TWindow& w) {
    RECT r{w.Bounds().Left, w.Bounds().Top, w.Bounds().Right, w.Bounds().Bottom};
    if (w.Kind() == TWindowKind::Form) {
        DWORD style, exStyle;
        Styles(w, style, exStyle);
        RECT frame{0, 0, w.Bounds().Width(), w.Bounds().Height()};
        AdjustWindowRectEx(&frame, style, FALSE, exStyle);
        r = {w.Bounds().Left, w.Bounds().Top, w.Bounds().Left + (frame.right - frame.left),
             w.Bounds().Top + (frame.bottom - frame.top)};
    }
    return r;
}

} // namespace

HWND MainWindowHandle() {
    return MainForm && MainForm->HandleAllocated() ? MainForm->GetHandle()->Handle : nullptr;
}

void TWindow::TNativeDeleter::operator()(TNativeWindow* native) const {
    if (!native) return;
    if (HWND handle = native->Handle) {
        // The platform class takes its window back before the window goes.
        SetWindowLongPtrA(handle, GWLP_USERDATA, 0);
        if (native->BaseProc)
            SetWindowLongPtrA(handle, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(native->BaseProc));
        DestroyWindow(handle);
    }
    if (native->Brush) DeleteObject(native->Brush);
    delete native;
}

TWindowHandle TWindow::GetHandle() {
    if (!Native) CreateNative();
    return Native.get();
}

void TWindow::CreateNative() {
    HWND parent = nullptr;
    if (ParentWindow) parent = ParentWindow->GetHandle()->Handle;
    // A child made while its parent was created may already exist by now.
    if (Native) return;

    HINSTANCE instance = GetModuleHandleA(nullptr);
    bool form = WindowKind == TWindowKind::Form;
    if (form && !RegisterFormClass(instance)) return;
    DWORD style, exStyle;
    Styles(*this, style, exStyle);
    RECT r = OuterRect(*this);
    int x = r.left, y = r.top, w = r.right - r.left, h = r.bottom - r.top;
    if (Rect.Width() <= 0) x = w = form ? CW_USEDEFAULT : 0;
    if (Rect.Height() <= 0) y = h = form ? CW_USEDEFAULT : 0;
    if (form && x != CW_USEDEFAULT && Rect.Height() <= 0) y = CW_USEDEFAULT;

    auto native = std::make_unique<TNativeWindow>();
    native->Owner = this;
    TNativeWindow* outer = Creating;
    Creating = native.get();
    HMENU id = form ? nullptr : reinterpret_cast<HMENU>(static_cast<UINT_PTR>(ControlId));
    HWND handle = CreateWindowExA(exStyle, ClassName().c_str(), Caption.c_str(), style, x, y, w, h,
                                  parent, id, instance, nullptr);
    Creating = outer;
    if (!handle) return;
    native->Handle = handle;
    SetWindowLongPtrA(handle, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(native.get()));
    if (!form)
        native->BaseProc = reinterpret_cast<WNDPROC>(
            SetWindowLongPtrA(handle, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(ToolkitProc)));
    // The system's font for controls; focus rectangles shown from the start.
    SendMessageA(handle, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)),
                 FALSE);
    SendMessageA(handle, WM_CHANGEUISTATE, MAKEWPARAM(UIS_CLEAR, UISF_HIDEFOCUS), 0);
    if (WindowKind == TWindowKind::Memo) SendMessageA(handle, EM_LIMITTEXT, 0, 0);
    Native = std::unique_ptr<TNativeWindow, TNativeDeleter>(native.release());

    NativeSetChecked();
    // Children made before the window get theirs now, so the whole form shows at once.
    for (const auto& child : Children)
        child->GetHandle();
}

void TWindow::NativeSetBounds() {
    if (!Native || !Native->Handle) return;
    RECT r = OuterRect(*this);
    SetWindowPos(Native->Handle, nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top,
                 SWP_NOZORDER | SWP_NOACTIVATE);
}

void TWindow::NativeSetCaption() {
    if (Native && Native->Handle) SetWindowTextA(Native->Handle, Caption.c_str());
}

std::string TWindow::NativeGetCaption() const {
    if (!Native->Handle) return Caption;
    int length = GetWindowTextLengthA(Native->Handle);
    if (length <= 0) return {};
    std::string text(static_cast<size_t>(length) + 1, '\0');
    int got = GetWindowTextA(Native->Handle, text.data(), length + 1);
    text.resize(got > 0 ? static_cast<size_t>(got) : 0);
    return text;
}

void TWindow::NativeSetChecked() {
    if (!Native || !Native->Handle || WindowKind != TWindowKind::RadioButton) return;
    SendMessageA(Native->Handle, BM_SETCHECK, Checked ? BST_CHECKED : BST_UNCHECKED, 0);
}

bool TWindow::NativeGetChecked() const {
    if (!Native->Handle || WindowKind != TWindowKind::RadioButton) return Checked;
    return SendMessageA(Native->Handle, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void TWindow::NativeSetColor() {
    if (!Native || !Native->Handle) return;
    if (Native->Brush) {
        DeleteObject(Native->Brush);
        Native->Brush = nullptr;
    }
    InvalidateRect(Native->Handle, nullptr, TRUE);
}

void Run(TWindow* mainForm) {
    Running = true;
    MainForm = mainForm;
    HWND handle = mainForm->GetHandle()->Handle;
    if (handle) {
        ShowWindow(handle, SW_SHOWNORMAL);
        UpdateWindow(handle);
        // Wait for messages and handle every one waiting, until the quit message.
        for (bool quit = false; !quit;) {
            WaitMessage();
            MSG message;
            while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
                if (message.message == WM_QUIT) {
                    quit = true;
                    break;
                }
                TranslateMessage(&message);
                DispatchMessageA(&message);
            }
        }
    }
    mainForm->Release();
    MainForm = nullptr;
    Running = false;
}

bool ProgramRunning() {
    return Running;
}

} // namespace audiolens::ui
