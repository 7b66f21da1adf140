#pragma once

#include "Vigilor/GdmBanner/LockScreenMessageState.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>

class LockScreenMessageService;

// What the settings window's lock-screen signature row shows and does, without the drawing. Main
// thread only.
//
// The row shows the message state read when it was made, offers one button that enables the message
// in the state `off` and disables it in the state `ours` (and does nothing for a foreign message), is
// busy while the privileged change runs, and afterwards shows the error text the service handed back.
// The state is read again only after a change succeeded: a message changed elsewhere meanwhile is not
// noticed until then.
class LockScreenSignatureRowModel {
public:
    explicit LockScreenSignatureRowModel(std::shared_ptr<LockScreenMessageService> service);
    ~LockScreenSignatureRowModel();
    LockScreenSignatureRowModel(const LockScreenSignatureRowModel&) = delete;
    LockScreenSignatureRowModel& operator=(const LockScreenSignatureRowModel&) = delete;

    const LockScreenMessageState& state() const;
    // True from the button's action until its completion has been handled.
    bool isBusy() const;
    // The last change's failure; cleared when the next change starts.
    const std::optional<std::string>& errorText() const;
    // The button does something: not busy, and the message is not someone else's.
    bool canToggle() const;

    // The button's action.
    void toggle();
    // Reads the message again, as when the row was made, to catch a change made elsewhere; waits for
    // a change in flight instead, whose completion reads it anyway. The last error stays shown.
    void reload();
    // Called after every change of state, busy flag or error text.
    void setOnChange(std::function<void()> onChange);

private:
    struct Shared;
    std::shared_ptr<Shared> shared_;
};
