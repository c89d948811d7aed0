// The toolkit's widget side over FLTK: creation on the first GetHandle, keeping the widget in
// step with the model, click and close callbacks, and the event loop.
#include "ui/MemoText.h"
#include "ui/Window.h"

#include <FL/Fl.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_Group.H>
#include <FL/Fl_Round_Button.H>
#include <FL/Fl_Text_Buffer.H>
#include <FL/Fl_Text_Editor.H>

namespace audiolens::ui {

struct TNativeWindow {
    Fl_Widget* Widget = nullptr;
    // The edit box's text lives in a buffer the editor does not own.
    Fl_Text_Buffer* Buffer = nullptr;
    TWindow* Owner = nullptr;
};

namespace {

bool Running = false;

// Sizes a zero width or height gets when the widget is made.
constexpr int DefaultFormWidth = 640, DefaultFormHeight = 480;
constexpr int DefaultControlWidth = 75, DefaultControlHeight = 22;
constexpr int LabelSize = 12;

// FLTK reads "@" in labels as a symbol escape; captions are plain text.
std::string LabelText(const std::string& caption) {
    std::string label;
    for (char c : caption)
        label += c == '@' ? std::string("@@") : std::string(1, c);
    return label;
}

Fl_Color ToFlColor(uint32_t color) {
    if (color & SystemColorBit) {
        switch (color & 0xFF) {
        case 5: // the window background: where text is edited
            return FL_BACKGROUND2_COLOR;
        case 8: // window text
            return FL_FOREGROUND_COLOR;
        default:
            return FL_BACKGROUND_COLOR;
        }
    }
    return fl_rgb_color(color & 0xFF, (color >> 8) & 0xFF, (color >> 16) & 0xFF);
}

// FLTK places every widget in the coordinates of its enclosing window, not of its group.
void WindowOffset(const TWindow* w, int& x, int& y) {
    x = y = 0;
    for (const TWindow* p = w->Parent(); p && p->Kind() != TWindowKind::Form; p = p->Parent()) {
        x += p->Bounds().Left;
        y += p->Bounds().Top;
    }
}

void OnWidgetClick(Fl_Widget*, void* data) {
    static_cast<TWindow*>(data)->Click();
}

void OnFormClose(Fl_Widget* widget, void* data) {
    auto* form = static_cast<TWindow*>(data);
    if (form->OnClose) form->OnClose(*form);
    widget->hide();
}

} // namespace

void TWindow::TNativeDeleter::operator()(TNativeWindow* native) const {
    if (!native) return;
    if (Fl_Group* parent = native->Widget->parent()) parent->remove(native->Widget);
    delete native->Widget;
    delete native->Buffer;
    delete native;
}

TWindowHandle TWindow::GetHandle() {
    if (!Native) CreateNative();
    return Native.get();
}

void TWindow::CreateNative() {
    Fl_Group* parentGroup = nullptr;
    if (ParentWindow) parentGroup = static_cast<Fl_Group*>(ParentWindow->GetHandle()->Widget);
    // A child made while its parent was created may already exist by now.
    if (Native) return;

    int x = 0, y = 0;
    WindowOffset(this, x, y);
    x += Rect.Left;
    y += Rect.Top;
    bool form = WindowKind == TWindowKind::Form;
    int w = Rect.Width() > 0 ? Rect.Width() : form ? DefaultFormWidth : DefaultControlWidth;
    int h = Rect.Height() > 0 ? Rect.Height() : form ? DefaultFormHeight : DefaultControlHeight;

    // Widgets join the current group on construction; they are added to their parent by hand.
    Fl_Group::current(nullptr);
    auto native = std::make_unique<TNativeWindow>();
    native->Owner = this;
    switch (WindowKind) {
    case TWindowKind::Form: {
        auto* window = new Fl_Double_Window(x, y, w, h);
        window->end();
        window->callback(OnFormClose, this);
        native->Widget = window;
        break;
    }
    case TWindowKind::GroupBox: {
        auto* group = new Fl_Group(x, y, w, h);
        group->end();
        group->box(FL_ENGRAVED_FRAME);
        group->align(FL_ALIGN_TOP_LEFT | FL_ALIGN_INSIDE);
        native->Widget = group;
        break;
    }
    case TWindowKind::RadioButton: {
        // A toggle, not FLTK's radio type: the toolkit's own click action checks the group.
        auto* radio = new Fl_Round_Button(x, y, w, h);
        radio->type(FL_TOGGLE_BUTTON);
        radio->callback(OnWidgetClick, this);
        native->Widget = radio;
        break;
    }
    case TWindowKind::Memo: {
        // Without wrapping, both scroll bars appear as the text needs them.
        Fl_Text_Display* editor = (Options & moReadOnly) ? new Fl_Text_Display(x, y, w, h)
                                                         : new Fl_Text_Editor(x, y, w, h);
        native->Buffer = new Fl_Text_Buffer;
        editor->buffer(native->Buffer);
        editor->box(FL_DOWN_BOX);
        editor->textsize(LabelSize + 1);
        if (!(Options & moMultiLine)) editor->scrollbar_width(0);
        native->Widget = editor;
        break;
    }
    case TWindowKind::Button: {
        auto* button = new Fl_Button(x, y, w, h);
        button->callback(OnWidgetClick, this);
        native->Widget = button;
        break;
    }
    }
    native->Widget->labelsize(LabelSize);
    if (parentGroup) parentGroup->add(native->Widget);
    Native = std::unique_ptr<TNativeWindow, TNativeDeleter>(native.release());

    NativeSetCaption();
    NativeSetChecked();
    NativeSetColor();
    // Children made before the widget get theirs now, so the whole form shows at once.
    for (const auto& child : Children)
        child->GetHandle();
}

void TWindow::NativeSetBounds() {
    if (!Native) return;
    int x = 0, y = 0;
    WindowOffset(this, x, y);
    Native->Widget->resize(x + Rect.Left, y + Rect.Top, Rect.Width(), Rect.Height());
    Native->Widget->redraw();
}

void TWindow::NativeSetCaption() {
    if (!Native) return;
    if (WindowKind == TWindowKind::Memo) {
        Native->Buffer->text(WidgetText(Caption).c_str());
        return;
    }
    // A window title is shown as it is; only widget labels know symbol escapes.
    Native->Widget->copy_label(
        (WindowKind == TWindowKind::Form ? Caption : LabelText(Caption)).c_str());
    Native->Widget->redraw();
}

std::string TWindow::NativeGetCaption() const {
    if (WindowKind == TWindowKind::Memo) {
        char* text = Native->Buffer->text();
        std::string caption = CaptionText(text);
        free(text);
        return caption;
    }
    return Caption;
}

void TWindow::NativeSetChecked() {
    if (!Native || WindowKind != TWindowKind::RadioButton) return;
    static_cast<Fl_Button*>(Native->Widget)->value(Checked ? 1 : 0);
}

bool TWindow::NativeGetChecked() const {
    if (WindowKind != TWindowKind::RadioButton) return false;
    return static_cast<Fl_Button*>(Native->Widget)->value() != 0;
}

void TWindow::NativeSetColor() {
    if (!Native) return;
    Native->Widget->color(ToFlColor(WindowColor));
    Native->Widget->redraw();
}

void Run(TWindow* mainForm) {
    Running = true;
    auto* window = static_cast<Fl_Window*>(mainForm->GetHandle()->Widget);
    window->show();
    while (window->shown())
        Fl::wait();
    mainForm->Release();
    Running = false;
}

bool ProgramRunning() {
    return Running;
}

} // namespace audiolens::ui
