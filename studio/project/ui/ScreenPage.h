// The 3D Screen page: the backgrounds of "3D_Bg" as thumbnails. Choosing one hands a
// copy of its template to the timeline as a 3D screen item; "Background Image..."
// adds a picture file to the library.
#pragma once

#include <QWidget>

#include <string>

#include "filter/timeline/model/TimelineRecords.h"
#include "studio/project/ScreenLibrary.h"

class QListWidget;
class QPushButton;

namespace zolvex {
namespace studio {

class ScreenPage : public QWidget {
    Q_OBJECT
public:
    ScreenPage(ScreenLibrary& library, std::string folder, QWidget* parent = nullptr);

    // Shows the library's items anew (after a load or an import).
    void Refresh();
    // Adds the picture file as a new background, its template copied from the chosen
    // item (a still item of the first shape when none is chosen); false for a file
    // that is no picture or a library that cannot be saved.
    bool AddBackground(const QString& file);
    QListWidget* Items() const { return items_; }
    void Retranslate();

signals:
    // A background was chosen: its template goes to the timeline (message 1142, kind 2).
    void addScreenItem(ScreenOp item);

private:
    ScreenLibrary& library_;
    std::string folder_;
    QListWidget* items_;
    QPushButton* add_;
    QPushButton* background_;
};

}  // namespace studio
}  // namespace zolvex

// The item travels in a queued signal to the timeline.
Q_DECLARE_METATYPE(ScreenOp)
