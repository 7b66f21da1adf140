#include "OnboardingModel.h"

#include "Foundation/DispatchQueue.h"
#include <utility>

namespace {

OnboardingCard whatZorviDoes() {
    const std::string body =
        "Zorvi uses your camera, and your watch or phone if you choose one, to detect when you step away "
        "from your desk. It locks your computer automatically and coaches you on healthy desk habits.";
    return {"whatZorviDoes",
            "lock.fill",
            OnboardingTint::success,
            "Zorvi watches over your desk",
            "Smart presence detection",
            body,
            "Zorvi watches your desk using your camera. " + body};
}

OnboardingCard privateByDesign() {
    return {"privateByDesign",
            "checkmark.shield.fill",
            OnboardingTint::notice,
            "Private by design",
            "Your data stays yours",
            "The camera is processed entirely on this computer, with dlib. No image, video, or "
            "personal data ever leaves your machine. No account, no analytics, no tracking.",
            "Camera processing happens on this computer only. No data leaves the machine. No account or "
            "analytics."};
}

OnboardingCard permissionsSection() {
    return {"permissionsSection",
            "key.fill",
            OnboardingTint::warning,
            "Permissions",
            "A couple of permissions to get started",
            {},
            {}};
}

void checkAtNextInterval(std::size_t index, std::function<void()> completion) {
    if (index >= permissionRecheckDelays.size())
        return;
    DispatchQueue::main().asyncAfter(permissionRecheckDelays[index], [index, completion] {
        completion();
        checkAtNextInterval(index + 1, completion);
    });
}

} // namespace

std::vector<OnboardingCard> onboardingCards() {
    std::vector<OnboardingCard> cards{whatZorviDoes()};
    cards.push_back(privateByDesign());
    cards.push_back(permissionsSection());
    return cards;
}

const OnboardingPermissionRow& onboardingPermissionRow(OnboardingPermission permission) {
    static const std::array<OnboardingPermissionRow, 3> rows{{
        {OnboardingPermission::camera, "camera.fill", "Camera", "Detects your presence at the desk",
         "Continue"},
        {OnboardingPermission::appleWatch, "applewatch", "Apple Watch",
         "Verifies your proximity to the computer", "Continue"},
        {OnboardingPermission::screenLocking, "lock.shield.fill", "Screen locking",
         "Zorvi locks the computer when you walk away. You can change this later in Settings.",
         "Allow Locking"},
    }};
    return rows[static_cast<std::size_t>(permission)];
}

std::string onboardingPermissionDescription(OnboardingPermission permission,
                                                   const OnboardingPermissionStates& states) {
    std::string problem;
    if (permission == OnboardingPermission::camera)
        problem = states.cameraProblem;
    else if (permission == OnboardingPermission::appleWatch)
        problem = states.bluetoothProblem;
    else
        problem = states.lockingProblem;
    return problem.empty() ? onboardingPermissionRow(permission).description : problem;
}

std::vector<OnboardingPermission> visiblePermissionRows(bool bluetoothPresenceEnabled) {
    std::vector<OnboardingPermission> rows{OnboardingPermission::camera};
    if (bluetoothPresenceEnabled)
        rows.push_back(OnboardingPermission::appleWatch);
    rows.push_back(OnboardingPermission::screenLocking);
    return rows;
}

bool OnboardingPermissionStates::granted(OnboardingPermission permission) const {
    switch (permission) {
    case OnboardingPermission::camera:
        return cameraPermissionGranted;
    case OnboardingPermission::appleWatch:
        return bluetoothPermissionGranted;
    case OnboardingPermission::screenLocking:
        return screenLockingEnabled && lockingProblem.empty();
    }
    return false;
}

OnboardingPermissionStates permissionStatesFrom(CameraState::Kind camera, BluetoothState bluetooth,
                                                bool screenLockingEnabled, std::string lockingProblem) {
    const CameraWords& cameraRow = cameraWords(camera);
    const BluetoothWords& bluetoothRow = bluetoothWords(bluetooth);
    return {cameraRow.works,        bluetoothRow.works,       screenLockingEnabled,
            cameraRow.onboarding,   bluetoothRow.onboarding, std::move(lockingProblem)};
}

void pollPermissionStatus(std::function<void()> completion) {
    checkAtNextInterval(0, std::move(completion));
}
