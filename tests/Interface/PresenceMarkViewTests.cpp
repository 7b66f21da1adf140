#include "Support/OffscreenApplication.h"
#include "Support/Pictures.h"
#include "Vigilor/Design/PresenceMarkView.h"
#include "Vigilor/Design/ZorviTheme.h"

#include <gtest/gtest.h>

namespace {

using State = PresenceMarkView::State;

const std::string artifacts = std::string(VIGILOR_TEST_ARTIFACTS) + "/interface";

struct PresenceMark : ::testing::Test {
    OffscreenApplication app;
};

TEST_F(PresenceMark, TheFirstMatchingRowGivesTintWordsAndBadge) {
    struct Row {
        const char* name;
        State state; // face, watch, looking away, paused, blocked, why blocked
        QColor tint;
        const char* label;
        const char* symbol;
    };
    const Row rows[] = {
        {"paused wins over blocked",
         {true, true, false, true, true},
         SystemColor::secondaryLabel(),
         "Zorvi paused",
         "pause.fill"},
        {"blocked by a refusal",
         {true, true, false, false, true},
         Theme::critical(),
         "Zorvi blocked; permission needed",
         "lock.fill"},
        {"blocked without a camera",
         {false, false, false, false, true, "no camera found"},
         Theme::critical(),
         "Zorvi blocked; no camera found",
         "lock.fill"},
        {"nobody, even looking away",
         {false, false, true, false, false},
         Theme::critical(),
         "Zorvi away",
         "xmark"},
        {"looking away with a face",
         {true, false, true, false, false},
         Theme::warning(),
         "Zorvi looking away",
         "eye.slash.fill"},
        {"looking away, companion only",
         {false, true, true, false, false},
         Theme::critical(),
         "Zorvi looking away",
         "eye.slash.fill"},
        {"companion only",
         {false, true, false, false, false},
         Theme::critical(),
         "Zorvi companion nearby; face not visible",
         "applewatch"},
        {"face only",
         {true, false, false, false, false},
         Theme::warning(),
         "Zorvi face present",
         "person.fill"},
        {"face and companion",
         {true, true, false, false, false},
         Theme::success(),
         "Zorvi active; face and companion present",
         "checkmark"},
    };
    for (const auto& r : rows) {
        PresenceMarkView view(false, false, false, false, false, 62);
        view.setState(r.state);
        const auto look = PresenceMarkView::look(r.state);
        EXPECT_EQ(look.markColor, r.tint) << r.name;
        EXPECT_EQ(view.accessibleName(), r.label) << r.name;
        EXPECT_EQ(look.stateSymbol, r.symbol) << r.name;
    }
}

// Probes at fractions of the mark's side: disc, pupils, pause bars, and the signal arc, which lies over
// the ring: in the tint with the companion near, grey without.
TEST_F(PresenceMark, DrawsDiscEyesPauseBarsAndSignalArcWhereTheyBelong) {
    const QColor paper = Qt::white;
    struct Row {
        const char* name;
        State state;
        bool pauseBars;
        bool pupilShifted;
        std::optional<bool> arcInTint; // paused marks are grey all over
    };
    const Row rows[] = {
        {"present", {true, true, false, false, false}, false, false, true},
        {"paused", {true, false, false, true, false}, true, false, std::nullopt},
        {"looking-away", {true, false, true, false, false}, false, true, false},
    };
    for (const double s : {62.0, 92.0}) {
        for (const auto& r : rows) {
            PresenceMarkView view(r.state.facePresent, r.state.watchPresent, r.state.isLookingAway,
                                  r.state.isPaused, r.state.isBlocked, s);
            const QImage image = Pictures::render(view, paper);
            const std::string what = std::string(r.name) + "-" + std::to_string(int(s));
            Pictures::save(image, artifacts, "presence-mark-" + what);
            const QColor tint = PresenceMarkView::look(r.state).markColor;
            EXPECT_TRUE(Pictures::pixelIs(image, {0.2 * s, 0.5 * s},
                                          Pictures::over(tint, 0.18 * tint.alphaF(), paper)))
                << what;
            // The left pupil: its centre, or 0.025 s to the right of it.
            const QPointF pupil(0.37 * s + (r.pupilShifted ? 0.025 * s : 0), 0.41 * s);
            EXPECT_LT(image.pixelColor(pupil.toPoint()).lightness(), 110) << what << ": pupil";
            const QPointF barMiddle(0.425 * s, 0.5 * s);
            EXPECT_EQ(Pictures::distance(image.pixelColor(barMiddle.toPoint()), paper) > 40, r.pauseBars)
                << what << ": pause bar";
            // 240° clockwise from 3 o'clock lies on both arcs (from 208.8° to 277.2° or 334.8°).
            const QPointF arc = QPointF(0.5 * s, 0.5 * s) + QPointF(-0.5, -0.866) * (0.46 * s);
            if (r.arcInTint) {
                EXPECT_EQ(Pictures::distance(image.pixelColor(arc.toPoint()), tint) < 40, *r.arcInTint)
                    << what << ": arc";
            }
        }
    }
}

} // namespace
