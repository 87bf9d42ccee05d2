// The recorder dialog: the recording formats the input device offers and the chosen
// one's details, Record and Stop, the time recorded, a meter of the input's level
// (so that the user sees the microphone works before and while speaking), the
// recording volume control, and whether the recording goes onto the timeline.
// Stopping stores the recording and closes the dialog.
#pragma once

#include <QDialog>

#include <vector>

#include "platform/Prompt.h"
#include "studio/recording/RecordingFormats.h"
#include "studio/recording/RecordingSession.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QPushButton;
class QTimer;

namespace zolvex {
namespace studio {

// A bar of the input's level in dB, green to red.
class LevelMeter : public QWidget {
    Q_OBJECT
public:
    explicit LevelMeter(QWidget* parent = nullptr);
    void SetLevel(double db);
    double Level() const { return db_; }
    QSize sizeHint() const override { return QSize(260, 14); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    double db_ = -90.0;
};

class RecorderDialog : public QDialog {
    Q_OBJECT
public:
    // `hasDevice` says whether an input device is there still (the volume control
    // asks it); `starter` starts a volume control program.
    RecorderDialog(std::vector<RecordingFormat> offered, RecordingSession& session, IPrompt& prompt,
                   std::function<bool()> hasDevice, ProgramStarter starter, QWidget* parent = nullptr);
    ~RecorderDialog() override;

    void StartRecording();
    void StopRecording();
    void OpenVolumeControl();

    QComboBox* Formats() const { return formats_; }
    QPushButton* RecordButton() const { return record_; }
    QPushButton* StopButton() const { return stop_; }
    QCheckBox* KeepBox() const { return keep_; }
    QLabel* ElapsedLabel() const { return elapsed_; }
    LevelMeter* Meter() const { return meter_; }
    std::vector<QString> Details() const;
    void Retranslate();

protected:
    void reject() override;

private:
    void ShowDetails();
    void Listen();
    void Tick();
    void ShowState();

    std::vector<RecordingFormat> offered_;
    RecordingSession& session_;
    IPrompt& prompt_;
    std::function<bool()> hasDevice_;
    ProgramStarter starter_;
    QGroupBox* formatBox_;
    QComboBox* formats_;
    QLabel* details_[4];
    QPushButton* record_;
    QPushButton* stop_;
    QPushButton* volume_;
    QPushButton* cancel_;
    QLabel* elapsed_;
    QLabel* levelLabel_;
    LevelMeter* meter_;
    QCheckBox* keep_;
    QTimer* timer_;
};

}  // namespace studio
}  // namespace zolvex
