// "Make Animation Effects": the symbol library (pictures imported as symbols), the
// effect's symbols, their motion properties and placement, a live preview, the
// guide-line window, and saving the effect as an ".arf" file.
#pragma once

#include <QDialog>
#include <QImage>

#include <functional>
#include <vector>

#include "platform/Prompt.h"
#include "studio/maker/EffectMaker.h"
#include "studio/maker/SymbolLibrary.h"

class QButtonGroup;
class QComboBox;
class QDial;
class QLabel;
class QListWidget;
class QPushButton;
class QRadioButton;
class QSlider;
class QTimer;

namespace zolvex {
namespace studio {

// The guide line of the selected symbol, drawn with the mouse while the button is held.
class GuideLineWindow : public QDialog {
    Q_OBJECT
public:
    GuideLineWindow(EffectMaker& maker, const QImage& picture, QWidget* parent = nullptr);
    QSlider* SpeedSlider() const { return speed_; }
    QDial* AngleDial() const { return angle_; }
    QPushButton* ClearButton() const { return clear_; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    EffectMaker& maker_;
    QImage picture_;
    QSlider* speed_;
    QDial* angle_;
    QPushButton* clear_;
    bool recording_ = false;
};

class EffectMakerWindow : public QDialog {
    Q_OBJECT
public:
    static constexpr int kPreviewMs = 100;

    EffectMakerWindow(const std::string& dataFolder, IPrompt& prompt, QWidget* parent = nullptr);
    ~EffectMakerWindow() override;

    // The dialogs, replaced in tests.
    using FilesChooser = std::function<QStringList()>;
    using SaveChooser = std::function<QString()>;
    void SetChoosers(FilesChooser pictures, SaveChooser save)
    {
        pictures_ = std::move(pictures);
        save_ = std::move(save);
    }

    EffectMaker& Maker() { return maker_; }
    SymbolLibrary& Library() { return library_; }
    QListWidget* LibraryList() const { return libraryList_; }
    QListWidget* SymbolStrip() const { return strip_; }
    QSlider* Slider(SymbolProperty p) const { return sliders_[size_t(p)]; }
    QComboBox* SpecialMotion() const { return motion_; }
    QRadioButton* PlacementButton(Placement p) const { return placements_[size_t(p)]; }
    QLabel* Preview() const { return preview_; }

    bool ImportPictures();
    bool AddSymbol();
    void RemoveSymbols();
    void DrawGuideLine();
    bool SaveEffect();
    // One tick of the preview timer.
    void Tick();

    // Escape and the window's close: the question of an unsaved effect first.
    void reject() override;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void RefreshLibrary();
    void RefreshStrip();
    void ShowSelected();  // the selected symbol's values in the controls
    void EnableControls();
    QImage SymbolPicture(int symbol) const;
    bool ConfirmClose();

    IPrompt& prompt_;
    SymbolLibrary library_;
    EffectMaker maker_;
    FilesChooser pictures_;
    SaveChooser save_;
    std::vector<uint8_t> background_;
    QListWidget* libraryList_;
    QListWidget* strip_;
    QLabel* preview_;
    std::vector<QSlider*> sliders_;
    std::vector<QLabel*> values_;
    QComboBox* motion_;
    std::vector<QRadioButton*> placements_;
    QButtonGroup* placementGroup_;
    QPushButton* guide_;
    QTimer* timer_;
    int ticks_ = 0;
    bool showing_ = false;  // the controls are being set from the symbol
    bool closing_ = false;
};

}  // namespace studio
}  // namespace zolvex
