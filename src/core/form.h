// Windows and controls as the logic sees them: a form loads on first use,
// runs its load handler, owns timers that stop when it unloads, and keeps its
// own fields while unloaded.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "core/design.h"
#include "platform/platform.h"

namespace velmora {

class Form;

// A periodic timer control. Its tick handler never runs nested inside itself:
// a tick that falls due while the handler pumps events is skipped.
class Timer {
public:
    Timer(Platform& platform, std::uint32_t intervalMs, std::function<void()> onTick);
    std::uint32_t Interval() const { return interval_; }
    bool Enabled() const { return enabled_; }
    void SetEnabled(bool enabled);

private:
    void Tick();

    Platform& platform_;
    std::uint32_t interval_;
    std::function<void()> onTick_;
    std::unique_ptr<NativeTimer> native_;
    bool enabled_ = false;
    bool inTick_ = false;
};

// A label: caption, position and tag kept by the logic, drawn by the adapter.
class Label {
public:
    explicit Label(const LabelDesign& design) : design_(design) { Reset(); }
    const Text& Caption() const { return caption_; }
    Twips Left() const { return left_; }
    Twips Top() const { return top_; }
    const Text& Tag() const { return tag_; }
    void SetCaption(const Text& caption);
    void Move(Twips left, Twips top);
    void SetTag(const Text& tag) { tag_ = tag; }

private:
    friend class Form;
    void Reset();

    const LabelDesign& design_;
    NativeWindow* window_ = nullptr;
    Text caption_, tag_;
    Twips left_ = 0, top_ = 0;
};

class Form : private WindowEvents {
public:
    Form(Platform& platform, const WindowDesign& design);
    virtual ~Form();
    Form(const Form&) = delete;
    Form& operator=(const Form&) = delete;

    bool IsLoaded() const { return window_ != nullptr; }
    // Loads the window unless it is loaded: design values, then OnLoad.
    void Load();
    // Runs OnUnload, stops the timers and destroys the window.
    void Unload();

    // Every property access loads the window first (load on first use).
    Twips Left();
    Twips Top();
    Twips Width();
    Twips Height();
    void SetLeft(Twips value);
    void SetTop(Twips value);
    void SetHeight(Twips value);
    const Text& Caption() const { return design_.caption; }
    void Show();
    // Above other windows from now on, without taking the focus.
    void KeepOnTop();
    // Tells assistive technology that the window shows a notice.
    void Announce(const Text& name, const Text& description);

    Label& GetLabel(Control id);
    Platform& platform() { return platform_; }
    // The loaded window, loading it first.
    NativeWindow& Window();

protected:
    virtual void OnLoad() {}
    virtual void OnUnload() {}
    virtual void LabelMouseDown(Control, const MouseArgs&) {}
    virtual void LabelMouseUp(Control, const MouseArgs&) {}
    // A link's or a button's default action, asked for without the mouse.
    virtual void LabelInvoked(Control) {}
    // A close request from outside; unloading is the whole answer unless
    // the form says more.
    virtual void OnCloseRequest() { Unload(); }

    // A timer owned by the form; it stops when the form unloads.
    Timer& AddTimer(std::uint32_t intervalMs, std::function<void()> onTick);

private:
    void MouseDown(Control control, const MouseArgs& args) override;
    void MouseUp(Control control, const MouseArgs& args) override;
    void CloseRequested() override;
    void Invoke(Control control) override;
    // An event handler's error ends the handler; it is reported, not lost.
    void RunHandler(const std::function<void()>& handler);

    Platform& platform_;
    const WindowDesign& design_;
    std::unique_ptr<NativeWindow> window_;
    std::vector<std::unique_ptr<Label>> labels_;
    std::vector<std::unique_ptr<Timer>> timers_;
};

}  // namespace velmora
