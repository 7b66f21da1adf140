#pragma once

#include "Vigilor/SettingsModel/Binding.h"
#include "Vigilor/Settings/SettingsModels.h"

#include <QWidget>

#include <functional>
#include <memory>
#include <optional>

class ClampedLabel;
class QLabel;
class QProgressBar;
class QStackedLayout;
class SymbolTile;
class VigilorMonitor;
class ZorviGlassButton;

// The monitor's face enrolment as the settings reach it: starting one, and reading the progress of the
// latest (absent before the first enrolment of the process).
struct FaceEnrolment {
    std::function<void()> start;
    std::function<std::optional<FaceEnrolmentProgress>()> progress;
};
FaceEnrolment monitorFaceEnrolment(const std::shared_ptr<VigilorMonitor>& monitor);

// The face enrolment sheet: what the running enrolment has captured, and how it ended. It starts and
// stops nothing; it redraws from the enrolment's progress whenever the monitor announces a change.
class FaceEnrolmentSheetView : public QWidget {
public:
    FaceEnrolmentSheetView(Binding<bool> isPresented, FaceEnrolment enrolment, QWidget* parent = nullptr);

    void refresh();
    FaceEnrolmentSheetPhase phase() const { return phase_; }
    QString statusTitle() const;  // "Enrolment Failed", "Face Enrolled Successfully", "Capturing 12 of 30"
    QString statusDetail() const; // the failure's text or the success's caption
    QProgressBar* progressBar() const { return bar_; }
    ZorviGlassButton* bottomButton() const { return button_; }

private:
    Binding<bool> isPresented_;
    FaceEnrolment enrolment_;
    FaceEnrolmentSheetPhase phase_ = FaceEnrolmentSheetPhase::waiting;
    QStackedLayout* status_;
    QProgressBar* waiting_;
    QWidget* outcome_;
    SymbolTile* outcomeMark_;
    QLabel* outcomeTitle_;
    ClampedLabel* outcomeDetail_;
    QWidget* capturing_;
    QProgressBar* bar_;
    QLabel* capturingText_;
    ZorviGlassButton* button_;
};
