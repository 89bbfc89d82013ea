#include "core/form.h"

namespace velmora {

Timer::Timer(Platform& platform, std::uint32_t intervalMs, std::function<void()> onTick)
    : platform_(platform), interval_(intervalMs), onTick_(std::move(onTick)) {}

void Timer::SetEnabled(bool enabled) {
    if (enabled == enabled_) return;
    enabled_ = enabled;
    if (enabled) {
        if (!native_) native_ = platform_.CreateTimer([this] { Tick(); });
        native_->Start(interval_);
    } else if (native_) {
        native_->Stop();
    }
}

void Timer::Tick() {
    if (!enabled_ || inTick_) return;
    inTick_ = true;
    try {
        onTick_();
    } catch (const RuntimeError& error) {
        inTick_ = false;
        platform_.ReportUnhandledError(error);
        return;
    } catch (...) {
        inTick_ = false;
        throw;
    }
    inTick_ = false;
}

void Label::SetCaption(const Text& caption) {
    caption_ = caption;
    if (window_) window_->SetLabelCaption(design_.id, caption_);
}

void Label::Move(Twips left, Twips top) {
    left_ = left;
    top_ = top;
    if (window_) window_->MoveLabel(design_.id, left_, top_);
}

void Label::Reset() {
    caption_ = design_.caption;
    tag_.clear();
    left_ = design_.left;
    top_ = design_.top;
}

Form::Form(Platform& platform, const WindowDesign& design) : platform_(platform), design_(design) {
    for (const auto& label : design_.labels) labels_.push_back(std::make_unique<Label>(label));
}

Form::~Form() {
    for (auto& timer : timers_) timer->SetEnabled(false);
}

void Form::Load() {
    if (window_) return;
    window_ = platform_.LoadWindow(design_, *this);
    for (auto& label : labels_) {
        label->Reset();
        label->window_ = window_.get();
    }
    OnLoad();
}

void Form::Unload() {
    if (!window_) return;
    OnUnload();
    for (auto& timer : timers_) timer->SetEnabled(false);
    for (auto& label : labels_) label->window_ = nullptr;
    window_.reset();
}

NativeWindow& Form::Window() {
    Load();
    return *window_;
}

Twips Form::Left() {
    return Window().Left();
}
Twips Form::Top() {
    return Window().Top();
}
Twips Form::Width() {
    return Window().Width();
}
Twips Form::Height() {
    return Window().Height();
}
void Form::SetLeft(Twips value) {
    Window().SetLeft(value);
}
void Form::SetTop(Twips value) {
    Window().SetTop(value);
}
void Form::SetHeight(Twips value) {
    Window().SetHeight(value);
}
void Form::Show() {
    Window().Show();
}
void Form::KeepOnTop() {
    Window().KeepOnTop();
}
void Form::Announce(const Text& name, const Text& description) {
    Window().Announce(name, description);
}

Label& Form::GetLabel(Control id) {
    Load();
    for (auto& label : labels_)
        if (label->design_.id == id) return *label;
    throw RuntimeError(ErrorCode::Platform, "no such label on this window");
}

Timer& Form::AddTimer(std::uint32_t intervalMs, std::function<void()> onTick) {
    timers_.push_back(std::make_unique<Timer>(platform_, intervalMs, std::move(onTick)));
    return *timers_.back();
}

void Form::RunHandler(const std::function<void()>& handler) {
    try {
        handler();
    } catch (const RuntimeError& error) {
        platform_.ReportUnhandledError(error);
    }
}

void Form::MouseDown(Control control, const MouseArgs& args) {
    RunHandler([&] { LabelMouseDown(control, args); });
}

void Form::MouseUp(Control control, const MouseArgs& args) {
    RunHandler([&] { LabelMouseUp(control, args); });
}

void Form::CloseRequested() {
    RunHandler([&] { OnCloseRequest(); });
}

void Form::Invoke(Control control) {
    RunHandler([&] { LabelInvoked(control); });
}

}  // namespace velmora
