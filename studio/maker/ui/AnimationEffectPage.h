// The "Animation Effect" page: the installed animation effects as animated
// thumbnails with their names, importing ".arf" files, removing the selected effect
// and putting it on the timeline as an effect object that carries its GUID.
#pragma once

#include <QWidget>

#include <functional>

#include "platform/Prompt.h"
#include "platform/wintypes.h"
#include "studio/maker/AnimationLibrary.h"

class QListWidget;
class QPushButton;
class QTimer;

namespace zolvex {
namespace studio {

class AnimationEffectPage : public QWidget {
    Q_OBJECT
public:
    // A further thumbnail frame of every animated item in view, ten times a second:
    // the rate the thumbnails' animations are stepped at.
    static constexpr int kFrameMs = 100;

    AnimationEffectPage(AnimationLibrary& library, IPrompt& prompt, QWidget* parent = nullptr);

    // The file chooser of Import (tests answer it; the default opens the dialog).
    using FileChooser = std::function<QStringList(const QString& title, const QString& filter)>;
    void SetFileChooser(FileChooser chooser) { chooser_ = std::move(chooser); }

    // "Import Animation Effects": the chosen files in order; how many were added.
    int Import();
    bool RemoveSelected();
    // The selected effect onto the timeline (false without one).
    bool AddSelected();
    // Reads the library anew into the list (after a load, an import or a removal).
    void Refresh();
    // One tick of the thumbnail timer.
    void Tick();
    void Retranslate();

    QListWidget* List() const { return list_; }
    QPushButton* ImportButton() const { return import_; }
    QPushButton* MakeButton() const { return make_; }
    QTimer* FrameTimer() const { return timer_; }

signals:
    // Before the library's lists change (the preview lets go of them) and after.
    void libraryChanging();
    void libraryChanged();
    // Message 1142 with an effect object of this GUID.
    void addEffect(GUID guid);
    // "Make Animation Effects".
    void makeRequested();

private:
    void ShowThumbnail(int i);

    AnimationLibrary& library_;
    IPrompt& prompt_;
    FileChooser chooser_;
    QListWidget* list_;
    QPushButton* import_;
    QPushButton* make_;
    QPushButton* remove_;
    QPushButton* add_;
    QTimer* timer_;
};

}  // namespace studio
}  // namespace zolvex
