// The window toolkit: one object type for the form and every control. The objects are plain
// models until the first GetHandle creates the real widget, so forms can be built and driven
// without a display. The widget layer lives only in the implementation file.
#pragma once

#include "core/BaseObject.h"
#include "framework/Reports.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace audiolens::ui {

enum TAlign : uint8_t { alNone = 0, alLeft, alTop, alRight, alBottom, alClient };

enum class TWindowKind : uint8_t { Form, Button, GroupBox, RadioButton, Memo };

// Edit box options.
using TMemoOptions = uint32_t;
constexpr TMemoOptions moMultiLine = 1;
constexpr TMemoOptions moReadOnly = 2;

// Colours are 0x00BBGGRR; with the top bit set the low bits name a system colour instead.
constexpr uint32_t SystemColorBit = 0x80000000u;
constexpr uint32_t clBtnFace = SystemColorBit | 15;
constexpr uint32_t clWindow = SystemColorBit | 5;

struct TRect {
    int32_t Left = 0, Top = 0, Right = 0, Bottom = 0;
    int32_t Width() const { return Right - Left; }
    int32_t Height() const { return Bottom - Top; }
};

// The platform's window, opaque to users of the toolkit.
struct TNativeWindow;
using TWindowHandle = TNativeWindow*;

class TWindow;
using TWindowEvent = std::function<void(TWindow& sender)>;

class TWindow : public TObject, public TOutputText {
  public:
    TWindow(TWindowKind kind, TWindow* parent, const std::string& caption);

    TWindowKind Kind() const { return WindowKind; }
    // "Form" for top-level windows, the platform class of a control otherwise.
    std::string ClassName() const;
    TWindow* Parent() const { return ParentWindow; }
    uint16_t Id() const { return ControlId; }
    const TRect& Bounds() const { return Rect; }
    TAlign Align() const { return Alignment; }
    uint32_t Color() const { return WindowColor; }
    TMemoOptions MemoOptions() const { return Options; }

    std::string GetCaption() const;
    void SetCaption(const std::string& caption);
    // The output text of a report is the caption (the edit box's content).
    std::string GetText() const override { return GetCaption(); }
    void SetText(const std::string& text) override { SetCaption(text); }

    void MoveTo(int32_t x, int32_t y);
    // A width or height of 0 keeps the current value.
    void Resize(int32_t width, int32_t height);
    // A value of 0 or below keeps the current one; for a form this is the size inside the frame.
    void SetClientSize(int32_t width, int32_t height);
    TRect ClientRect() const { return {0, 0, Rect.Width(), Rect.Height()}; }
    void SetAlign(TAlign align);
    void SetColor(uint32_t color);

    int ChildCount() const { return static_cast<int>(Children.size()); }
    TWindow* Child(int index) const;
    bool IsChecked() const;
    void SetChecked(bool checked);

    int32_t UserValue = 0;
    // Called after the control's own click action.
    TWindowEvent OnClick;
    // Called when the user closes a top-level window, while its controls still exist.
    TWindowEvent OnClose;

    // On a group box: the ids of its first and its most recent radio button.
    uint16_t FirstRadioId = 0;
    uint16_t LastRadioId = 0;

    // The control's own click action, then its click event: what a user's click does.
    void Click();
    // Creates the real widget (the parent's first) on the first call.
    TWindowHandle GetHandle();
    bool HandleAllocated() const { return Native != nullptr; }

  protected:
    ~TWindow() override;

  private:
    friend TWindow* CreateMemo(TWindow* parent, TMemoOptions options);
    struct TNativeDeleter {
        void operator()(TNativeWindow* native) const;
    };

    void AddChild(TWindow* child);
    void RealignChildren();
    void SetBounds(const TRect& rect);
    // The widget side: each does nothing before the widget exists.
    void CreateNative();
    void NativeSetBounds();
    void NativeSetCaption();
    void NativeSetChecked();
    void NativeSetColor();
    std::string NativeGetCaption() const;
    bool NativeGetChecked() const;

    TWindowKind WindowKind;
    TWindow* ParentWindow;
    uint16_t ControlId = 0;
    TRect Rect;
    std::string Caption;
    TAlign Alignment = alNone;
    uint32_t WindowColor = clBtnFace;
    TMemoOptions Options = 0;
    bool Checked = false;
    std::vector<TRef<TWindow>> Children;
    std::unique_ptr<TNativeWindow, TNativeDeleter> Native;
};

// A new top-level window; the caller holds its one reference.
TWindow* CreateForm(const std::string& caption);
// Controls belong to their parent, which releases them; the pointer is the parent's.
TWindow* CreateButton(TWindow* parent, const std::string& caption);
TWindow* CreateGroupBox(TWindow* parent, const std::string& caption);
TWindow* CreateRadioButton(TWindow* group, const std::string& caption);
TWindow* CreateMemo(TWindow* parent, TMemoOptions options);

// The object is released when the window object is destroyed.
void RegisterOwned(TWindow* window, TObject* object);

// Shows the form and handles events until it is closed; then releases the form.
void Run(TWindow* mainForm);
bool ProgramRunning();

} // namespace audiolens::ui
