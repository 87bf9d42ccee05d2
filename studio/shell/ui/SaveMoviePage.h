// The "Save Movie" page: the output kind and its settings, the movie's name and
// folder, and "Save Moive Now". The lists come from the kind's presets in their
// order; a disc profile picks its own frame size, rate and bit rate. Confirming runs
// the checks of ConfirmSaveMovie (name, overwrite) and, when they pass, emits
// SaveMovieRequested with the parameters: the main window's message 1153, on which
// it starts the encoding run (MovieSaver).
#pragma once

#include <QMetaType>
#include <QString>
#include <QWidget>

#include <functional>
#include <utility>
#include <vector>

#include "platform/Prompt.h"
#include "studio/shell/MovieOutputParams.h"

class QCheckBox;
class QComboBox;
class QFormLayout;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSlider;

namespace zolvex {
namespace studio {

class SaveMoviePage : public QWidget {
    Q_OBJECT
public:
    // Asks for a folder: (title, the folder to start in) → the chosen folder, or
    // an empty text when the user chose none. A folder dialog unless replaced.
    using FolderChooser = std::function<QString(const QString& title, const QString& start)>;

    // `folder`: the output folder shown at first (the default movie folder).
    explicit SaveMoviePage(IPrompt& prompt, const QString& folder = QString(), QWidget* parent = nullptr);

    // What the controls hold, as the parameters are filled from.
    MovieChoices Choices() const;
    void SetFolder(const QString& folder);
    QString Folder() const;
    // The movie just made (empty: none), with an "Open Folder" button beside it.
    void ShowSaved(const QString& path);
    QString SavedPath() const { return savedPath_; }
    void SetFolderChooser(FolderChooser chooser) { chooser_ = std::move(chooser); }
    void Retranslate();

    QComboBox* KindBox() const { return kind_; }
    QComboBox* ProfileBox() const { return profile_; }
    QComboBox* FrameSizeBox() const { return frameSize_; }
    QComboBox* FrameRateBox() const { return frameRate_; }
    QComboBox* VideoCodecBox() const { return videoCodec_; }
    QComboBox* VideoBitRateBox() const { return videoBitRate_; }
    QSlider* QualitySlider() const { return quality_; }
    QComboBox* AudioCodecBox() const { return audioCodec_; }
    QComboBox* AudioBitRateBox() const { return audioBitRate_; }
    QComboBox* ChannelsBox() const { return channels_; }
    QComboBox* SampleRateBox() const { return sampleRate_; }
    QCheckBox* FullMotionBox() const { return fullMotion_; }
    QLineEdit* NameEdit() const { return name_; }
    QLineEdit* FolderEdit() const { return folder_; }
    QPushButton* BrowseButton() const { return browse_; }
    QPushButton* SaveButton() const { return save_; }

public slots:
    // "Save Moive Now": true when the movie may be made and the signal went out.
    bool Confirm();
    // The folder chooser, titled "Select Output Directory".
    void Browse();

signals:
    void SaveMovieRequested(const zolvex::studio::MovieOutputParams& params);

private:
    void KindChanged();
    void ProfileChanged();
    // Refills the lists the kind (and profile) offer and selects the defaults.
    void FillLists();
    void UpdateEnabled();
    void UpdateQualityText();

    IPrompt& prompt_;
    FolderChooser chooser_;
    QComboBox* kind_;
    QComboBox* profile_;
    QComboBox* frameSize_;
    QComboBox* frameRate_;
    QComboBox* videoCodec_;
    QComboBox* videoBitRate_;
    QSlider* quality_;
    QLabel* qualityValue_;
    QComboBox* audioCodec_;
    QComboBox* audioBitRate_;
    QComboBox* channels_;
    QComboBox* sampleRate_;
    QCheckBox* fullMotion_;
    QLineEdit* name_;
    QLineEdit* folder_;
    QPushButton* browse_;
    QPushButton* save_;
    QLabel* saved_ = nullptr;
    QPushButton* openFolder_ = nullptr;
    QString savedPath_;
    QGroupBox* videoGroup_;
    QGroupBox* audioGroup_;
    QGroupBox* outputGroup_;
    QFormLayout* videoForm_;
    QFormLayout* audioForm_;
    QFormLayout* outputForm_;
    QLabel* title_;
    std::vector<std::pair<QLabel*, int>> labels_;  // row labels and their string numbers
    bool userFullMotion_ = false;  // the box's state before MP4 took it over
};

}  // namespace studio
}  // namespace zolvex

Q_DECLARE_METATYPE(zolvex::studio::MovieOutputParams)
