#include "LockScreenSignatureRowModel.h"

#include "Foundation/DispatchQueue.h"
#include "Vigilor/LockScreen/LockScreenMessageService.h"

#include <utility>

// Held by the row and, weakly, by the completions in flight, which do nothing once the row is gone.
struct LockScreenSignatureRowModel::Shared {
    std::shared_ptr<LockScreenMessageService> service;
    LockScreenMessageState state;
    bool busy = false;
    std::optional<std::string> errorText;
    std::function<void()> onChange;

    void changed() const {
        if (onChange)
            onChange();
    }

    // The service answers on the main queue; the row takes the answer on a later turn of it, so that
    // a completion that came at once (nothing to disable) is handled like any other.
    static LockScreenMessageService::Completion completionFor(const std::weak_ptr<Shared>& weak) {
        return [weak](std::optional<std::string> errorText) {
            DispatchQueue::main().async([weak, errorText = std::move(errorText)] {
                if (const auto shared = weak.lock())
                    shared->finish(errorText);
            });
        };
    }

    void finish(const std::optional<std::string>& error) {
        busy = false;
        errorText = error;
        if (!error)
            state = service->currentMessage();
        changed();
    }
};

LockScreenSignatureRowModel::LockScreenSignatureRowModel(std::shared_ptr<LockScreenMessageService> service)
    : shared_(std::make_shared<Shared>()) {
    shared_->state = service->currentMessage();
    shared_->service = std::move(service);
}

LockScreenSignatureRowModel::~LockScreenSignatureRowModel() = default;

const LockScreenMessageState& LockScreenSignatureRowModel::state() const {
    return shared_->state;
}

bool LockScreenSignatureRowModel::isBusy() const {
    return shared_->busy;
}

const std::optional<std::string>& LockScreenSignatureRowModel::errorText() const {
    return shared_->errorText;
}

bool LockScreenSignatureRowModel::canToggle() const {
    return !shared_->busy && !shared_->state.isForeign();
}

void LockScreenSignatureRowModel::toggle() {
    if (!canToggle())
        return;
    const bool ours = shared_->state.isOurs();
    shared_->busy = true;
    shared_->errorText = std::nullopt;
    shared_->changed();
    auto completion = Shared::completionFor(shared_);
    if (ours)
        shared_->service->disable(std::move(completion));
    else
        shared_->service->enable(std::move(completion));
}

void LockScreenSignatureRowModel::reload() {
    if (shared_->busy)
        return;
    auto state = shared_->service->currentMessage();
    if (state == shared_->state)
        return;
    shared_->state = std::move(state);
    shared_->changed();
}

void LockScreenSignatureRowModel::setOnChange(std::function<void()> onChange) {
    shared_->onChange = std::move(onChange);
}
