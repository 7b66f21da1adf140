#pragma once

// The eye states of the tray icon and of the mascot eyes.
namespace ZorviMenuIcon {
enum class EyeState { normal, blink, glance, rest, alert, closed };
} // namespace ZorviMenuIcon
