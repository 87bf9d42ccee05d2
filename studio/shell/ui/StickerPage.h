// The animated pictures page: the pictures of the media library to lay over the
// scenes (a GIF keeps playing its frames), "Import" for more, and Add, Change and
// Remove for the picture objects of the timeline. While a picture object is the
// selected object its place, size and opacity can be edited; the record has no
// angle, so the page offers none.
#pragma once

#include <QStringList>
#include <QWidget>

#include <vector>

#include "filter/timeline/model/TimelineRecords.h"
#include "platform/Prompt.h"
#include "studio/project/MediaLibrary.h"

class QGroupBox;
class QLabel;
class QListWidget;
class QPushButton;
class QSlider;
class QSpinBox;


namespace zolvex {
namespace studio {

class TimelineEditor;

class StickerPage : public QWidget {
    Q_OBJECT
public:
    StickerPage(TimelineEditor& editor, MediaLibrary& library, IPrompt& prompt, QWidget* parent = nullptr);

    void Retranslate();
    // Shows the library's pictures anew (after an import or a removal elsewhere).
    void Refresh();
    // Puts the picture files into the media library (one store); those that are no
    // picture are named in one message. The number added.
    int ImportFiles(const QStringList& files);

    // The selected picture object when the property target is one, else null.
    StickerOp* Target() const;
    // The library entry chosen in the list, or −1.
    int ChosenEntry() const;

    QListWidget* Pictures() const { return pictures_; }
    QPushButton* AddButton() const { return add_; }
    QPushButton* ChangeButton() const { return change_; }
    QPushButton* RemoveButton() const { return remove_; }
    QPushButton* ImportButton() const { return import_; }
    QSpinBox* XBox() const { return x_; }
    QSpinBox* YBox() const { return y_; }
    QSpinBox* WidthBox() const { return width_; }
    QSpinBox* HeightBox() const { return height_; }
    QSpinBox* OpacityBox() const { return opacity_; }

public slots:
    void SelectionChanged();
    // Each true when the timeline changed.
    bool AddSticker();
    bool ChangeSticker();
    bool RemoveSticker();

signals:
    // Pictures were imported into the library: other views of it must refresh.
    void libraryChanged();
    // A picture object's picture is about to be replaced in place: the preview must
    // stop drawing from the timeline first (what the window does for message 1149).
    // Connect it directly, so that the hold is in force when the emit returns.
    void holdPreview();

private:
    template <typename Change>
    void Edit(Change change);
    void EndGesture();
    void Note(int text);
    bool OpenChosen(StickerOp& op);
    void FitInFrame(StickerOp& op) const;

    TimelineEditor& editor_;
    MediaLibrary& library_;
    IPrompt& prompt_;
    std::vector<size_t> entries_;  // the library entry of each row
    bool filling_ = false;
    bool editing_ = false;

    QListWidget* pictures_;
    QLabel* empty_;
    QPushButton* import_;
    QPushButton* add_;
    QPushButton* change_;
    QPushButton* remove_;
    QGroupBox* properties_;
    QLabel* xLabel_;
    QLabel* yLabel_;
    QLabel* sizeLabel_;
    QLabel* opacityLabel_;
    QLabel* frames_;
    QSpinBox* x_;
    QSpinBox* y_;
    QSpinBox* width_;
    QSpinBox* height_;
    QSlider* opacitySlider_;
    QSpinBox* opacity_;
};

}  // namespace studio
}  // namespace zolvex
