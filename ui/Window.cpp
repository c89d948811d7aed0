// The toolkit's model side: ids, bounds, captions, children, layout and the radio logic. Nothing
// here needs a display; the widget is touched only through the Native* operations.
#include "ui/Window.h"

namespace audiolens::ui {

namespace {

// Control ids are command ids, so they are unique in the process and stay above the menu range.
uint16_t NextControlId = 32768;

} // namespace

TWindow::TWindow(TWindowKind kind, TWindow* parent, const std::string& caption)
    : WindowKind(kind), ParentWindow(parent), Caption(caption) {
    if (kind != TWindowKind::Form) ControlId = NextControlId++;
    if (parent) parent->AddChild(this);
}

TWindow::~TWindow() {
    // Children go first, so each widget leaves its parent widget before that one is deleted.
    while (!Children.empty())
        Children.pop_back();
    Native.reset();
}

std::string TWindow::ClassName() const {
    switch (WindowKind) {
    case TWindowKind::Form:
        return "Form";
    case TWindowKind::Memo:
        return "EDIT";
    default:
        return "BUTTON";
    }
}

void TWindow::AddChild(TWindow* child) {
    // The parent holds the child's first reference.
    Children.emplace_back(child);
}

TWindow* TWindow::Child(int index) const {
    return index >= 0 && index < ChildCount() ? Children[index].Get() : nullptr;
}

std::string TWindow::GetCaption() const {
    return Native ? NativeGetCaption() : Caption;
}

void TWindow::SetCaption(const std::string& caption) {
    Caption = caption;
    NativeSetCaption();
}

void TWindow::SetBounds(const TRect& rect) {
    bool resized = rect.Width() != Rect.Width() || rect.Height() != Rect.Height();
    Rect = rect;
    NativeSetBounds();
    if (resized) RealignChildren();
}

void TWindow::MoveTo(int32_t x, int32_t y) {
    SetBounds({x, y, x + Rect.Width(), y + Rect.Height()});
}

void TWindow::Resize(int32_t width, int32_t height) {
    if (width == 0) width = Rect.Width();
    if (height == 0) height = Rect.Height();
    SetBounds({Rect.Left, Rect.Top, Rect.Left + width, Rect.Top + height});
}

void TWindow::SetClientSize(int32_t width, int32_t height) {
    // The widget layer draws no frame of its own (the window manager adds it outside), so the
    // client area is the whole rectangle.
    Resize(width > 0 ? width : 0, height > 0 ? height : 0);
}

void TWindow::SetAlign(TAlign align) {
    Alignment = align;
    if (ParentWindow) ParentWindow->RealignChildren();
}

void TWindow::RealignChildren() {
    // Each aligned child takes its edge of what the earlier ones left, in the order top, bottom,
    // left, right, client.
    TRect free = ClientRect();
    for (TAlign pass : {alTop, alBottom, alLeft, alRight, alClient})
        for (const auto& child : Children) {
            if (child->Alignment != pass) continue;
            TRect r = child->Rect;
            int32_t w = r.Width(), h = r.Height();
            switch (pass) {
            case alTop:
                r = {free.Left, free.Top, free.Right, free.Top + h};
                free.Top = r.Bottom;
                break;
            case alBottom:
                r = {free.Left, free.Bottom - h, free.Right, free.Bottom};
                free.Bottom = r.Top;
                break;
            case alLeft:
                r = {free.Left, free.Top, free.Left + w, free.Bottom};
                free.Left = r.Right;
                break;
            case alRight:
                r = {free.Right - w, free.Top, free.Right, free.Bottom};
                free.Right = r.Left;
                break;
            default:
                r = free;
                break;
            }
            child->SetBounds(r);
        }
}

void TWindow::SetColor(uint32_t color) {
    WindowColor = color;
    NativeSetColor();
}

bool TWindow::IsChecked() const {
    return Native ? NativeGetChecked() : Checked;
}

void TWindow::SetChecked(bool checked) {
    Checked = checked;
    NativeSetChecked();
}

void TWindow::Click() {
    // A radio button is not auto-checking: its own action checks it and clears its group.
    if (WindowKind == TWindowKind::RadioButton && ParentWindow) {
        for (const auto& sibling : ParentWindow->Children)
            if (sibling->WindowKind == TWindowKind::RadioButton &&
                sibling->ControlId >= ParentWindow->FirstRadioId &&
                sibling->ControlId <= ParentWindow->LastRadioId && sibling.Get() != this)
                sibling->SetChecked(false);
        SetChecked(true);
    }
    if (OnClick) {
        // The handler may release other objects; keep this one alive until it returns.
        AddRef();
        TRef<TWindow> self(this);
        OnClick(*this);
    }
}

TWindow* CreateForm(const std::string& caption) {
    // Zero sizes: the platform's default size until the program sets one.
    return new TWindow(TWindowKind::Form, nullptr, caption);
}

TWindow* CreateButton(TWindow* parent, const std::string& caption) {
    auto* button = new TWindow(TWindowKind::Button, parent, caption);
    button->Resize(0, 22);
    return button;
}

TWindow* CreateGroupBox(TWindow* parent, const std::string& caption) {
    auto* group = new TWindow(TWindowKind::GroupBox, parent, caption);
    group->Resize(100, 100);
    return group;
}

TWindow* CreateRadioButton(TWindow* group, const std::string& caption) {
    auto* radio = new TWindow(TWindowKind::RadioButton, group, caption);
    radio->Resize(72, 22);
    if (group) {
        if (group->FirstRadioId == 0) group->FirstRadioId = radio->Id();
        group->LastRadioId = radio->Id();
    }
    return radio;
}

TWindow* CreateMemo(TWindow* parent, TMemoOptions options) {
    auto* memo = new TWindow(TWindowKind::Memo, parent, "");
    memo->Options = options;
    memo->WindowColor = clWindow;
    if (options & moMultiLine)
        memo->Resize(200, 200);
    else
        memo->Resize(100, 22);
    return memo;
}

void RegisterOwned(TWindow* window, TObject* object) {
    if (window) window->RegisterOwned(object);
}

} // namespace audiolens::ui
