#include "FaceEnrolmentSheetView.h"

#include "Vigilor/Camera/EnrolmentProgress.h"
#include "Vigilor/Design/ZorviControls.h"
#include "Vigilor/Design/ZorviGlass.h"
#include "Vigilor/Design/ZorviTheme.h"
#include "Vigilor/Interface/ClampedLabel.h"
#include "Vigilor/Interface/ViewHelpers.h"
#include "Vigilor/Interface/WindowParts.h"
#include "Vigilor/Monitor/FaceEnroller.h"
#include "Vigilor/Monitor/VigilorMonitor.h"

#include <QLabel>
#include <QProgressBar>
#include <QStackedLayout>
#include <QVBoxLayout>

namespace {

QWidget* header() {
    auto* box = new QWidget;
    auto* column = new QVBoxLayout(box);
    column->setContentsMargins(16, 16, 16, 16);
    column->setSpacing(8);
    auto* face = new SymbolTile("faceid", 56, 48, false);
    face->setColour(Theme::warning());
    column->addWidget(face, 0, Qt::AlignHCenter);
    column->addWidget(plainLabel("Capture Your Face", zorviTitle(), SystemColor::primaryLabel()), 0,
                      Qt::AlignHCenter);
    QLabel* hint = plainLabel("Position yourself in good lighting and stay centered in the camera frame.",
                              zorviControl(), SystemColor::secondaryLabel());
    hint->setWordWrap(true);
    hint->setAlignment(Qt::AlignHCenter);
    column->addWidget(hint);
    return box;
}

QProgressBar* tintedProgressBar(const QColor& tint) {
    auto* bar = new QProgressBar;
    bar->setTextVisible(false);
    QPalette palette = bar->palette();
    palette.setColor(QPalette::Highlight, tint);
    bar->setPalette(palette);
    return bar;
}

} // namespace

// The monitor's enrolment, read as one snapshot per redraw: the video queue writes the record while the
// sheet shows it, and each field is read under the record's lock.
FaceEnrolment monitorFaceEnrolment(const std::shared_ptr<VigilorMonitor>& monitor) {
    const std::weak_ptr<VigilorMonitor> weak = monitor;
    return {[weak] {
                if (const auto self = weak.lock())
                    self->startFaceEnrolment();
            },
            [weak]() -> std::optional<FaceEnrolmentProgress> {
                const auto self = weak.lock();
                const std::shared_ptr<EnrolmentProgress> progress =
                    self ? self->faceEnrolment().enrolmentProgress() : nullptr;
                if (!progress)
                    return std::nullopt;
                const auto error = progress->error();
                return FaceEnrolmentProgress{progress->capturedCount(), progress->targetCount(),
                                             progress->isComplete(),
                                             error ? std::optional(error->errorDescription()) : std::nullopt};
            }};
}

FaceEnrolmentSheetView::FaceEnrolmentSheetView(Binding<bool> isPresented, FaceEnrolment enrolment,
                                               QWidget* parent)
    : QWidget(parent)
    , isPresented_(std::move(isPresented))
    , enrolment_(std::move(enrolment))
    , status_(new QStackedLayout)
    , waiting_(tintedProgressBar(Theme::warning()))
    , outcome_(new QWidget)
    , outcomeMark_(new SymbolTile("checkmark.circle.fill", 36, 32, false))
    , outcomeTitle_(plainLabel("", zorviControl(), SystemColor::primaryLabel()))
    , outcomeDetail_(new ClampedLabel(zorviCaption(), SystemColor::secondaryLabel(), 4))
    , capturing_(new QWidget)
    , bar_(tintedProgressBar(Theme::warning()))
    , capturingText_(plainLabel("", zorviControl(), SystemColor::primaryLabel()))
    , button_(new ZorviGlassButton(QStringLiteral("Close"))) {
    setObjectName(QStringLiteral("faceEnrolmentSheet"));
    auto* backdrop = new ZorviBackdrop(false);
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(backdrop);

    waiting_->setRange(0, 0); // indeterminate
    outcomeDetail_->setAlignment(Qt::AlignHCenter);
    // Each state's column keeps its spacing and sits in the middle of the status area.
    auto* outcomeColumn = new QVBoxLayout(outcome_);
    outcomeColumn->setSpacing(8);
    outcomeColumn->addStretch(1);
    outcomeColumn->addWidget(outcomeMark_, 0, Qt::AlignHCenter);
    outcomeColumn->addWidget(outcomeTitle_, 0, Qt::AlignHCenter);
    // The wrapped detail takes the lower half of the room, so its lines are never short of height.
    outcomeColumn->addWidget(outcomeDetail_, 1);
    auto* capturingColumn = new QVBoxLayout(capturing_);
    capturingColumn->setSpacing(12);
    capturingColumn->addStretch(1);
    capturingColumn->addWidget(bar_);
    capturingColumn->addWidget(capturingText_, 0, Qt::AlignHCenter);
    capturingColumn->addStretch(1);
    auto* waitingBox = new QWidget;
    auto* waitingColumn = new QVBoxLayout(waitingBox);
    waitingColumn->addWidget(waiting_, 0, Qt::AlignVCenter);
    status_->addWidget(waitingBox);
    status_->addWidget(outcome_);
    status_->addWidget(capturing_);
    auto* statusArea = new QWidget;
    statusArea->setLayout(status_);
    statusArea->setMinimumHeight(160);
    statusArea->setContentsMargins(16, 16, 16, 16);

    button_->setFont(zorviControl());
    button_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    connect(button_, &QPushButton::clicked, this, [this] { isPresented_.set(false); });

    auto* column = new QVBoxLayout(backdrop);
    column->setContentsMargins(16, 16, 16, 16);
    column->setSpacing(16);
    column->addWidget(header());
    column->addWidget(statusArea, 1);
    column->addWidget(button_);
    refresh();
}

void FaceEnrolmentSheetView::refresh() {
    const std::optional<FaceEnrolmentProgress> progress = enrolment_.progress();
    phase_ = faceEnrolmentSheetPhase(progress);
    switch (phase_) {
    case FaceEnrolmentSheetPhase::waiting:
        status_->setCurrentIndex(0);
        break;
    case FaceEnrolmentSheetPhase::failed: {
        const std::string& text = *progress->errorDescription;
        outcomeMark_->setSymbol("exclamationmark.circle.fill", Theme::critical());
        outcomeTitle_->setText(QStringLiteral("Enrolment Failed"));
        outcomeDetail_->setText(text.empty() ? QStringLiteral("An error occurred") : qs(text));
        status_->setCurrentIndex(1);
        break;
    }
    case FaceEnrolmentSheetPhase::done:
        outcomeMark_->setSymbol("checkmark.circle.fill", SystemColor::green());
        outcomeTitle_->setText(QStringLiteral("Face Enrolled Successfully"));
        outcomeDetail_->setText(QStringLiteral("Captured %1 prints. Your face is now stored locally.")
                                    .arg(progress->capturedCount));
        status_->setCurrentIndex(1);
        break;
    case FaceEnrolmentSheetPhase::capturing:
        bar_->setRange(0, std::max(1, progress->targetCount));
        bar_->setValue(std::min(progress->capturedCount, bar_->maximum()));
        capturingText_->setText(
            QStringLiteral("Capturing %1 of %2").arg(progress->capturedCount).arg(progress->targetCount));
        status_->setCurrentIndex(2);
        break;
    }
    button_->setText(phase_ == FaceEnrolmentSheetPhase::done ? QStringLiteral("Done")
                                                             : QStringLiteral("Close"));
}

QString FaceEnrolmentSheetView::statusTitle() const {
    switch (phase_) {
    case FaceEnrolmentSheetPhase::waiting:
        return {};
    case FaceEnrolmentSheetPhase::capturing:
        return capturingText_->text();
    case FaceEnrolmentSheetPhase::failed:
    case FaceEnrolmentSheetPhase::done:
        return outcomeTitle_->text();
    }
    return {};
}

QString FaceEnrolmentSheetView::statusDetail() const {
    return phase_ == FaceEnrolmentSheetPhase::failed || phase_ == FaceEnrolmentSheetPhase::done
               ? outcomeDetail_->text()
               : QString();
}
