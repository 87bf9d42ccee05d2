// The "Text" page: a title's text, font, size, colours, animation style, position and
// opacity, and a preview of the title over a frame of the project's size. "Add to
// Timeline" hands a new title to the timeline; while a title is the selected object
// the fields show it and every change edits it in place.
#pragma once

#include <QColor>
#include <QWidget>

#include "filter/timeline/model/TimelineRecords.h"

class QComboBox;
class QLabel;
class QListWidget;
class QPlainTextEdit;
class QPushButton;
class QSlider;
class QSpinBox;
class QToolButton;
class QTimer;

namespace zolvex {
namespace studio {

class TimelineEditor;

// The styles of the page's list: nStyle 1–8 in this order.
constexpr int kTitleStyleCount = 8;
const char* TitleStyleName(int style);

// The font height a title of `size` gets (the size of the font dialogs is in points
// of a 15-by-20 design grid) and the size shown for a height.
int TitleFontHeight(int size);
int TitleFontSize(int height);

class TitlePreview;

class TextPage : public QWidget {
    Q_OBJECT
public:
    explicit TextPage(TimelineEditor& editor, QWidget* parent = nullptr);
    ~TextPage() override;

    void Retranslate();

    // The selected title when the property target is one, else null.
    TextOp* Target() const;
    // A title made from the fields, as "Add to Timeline" hands it over (null when out
    // of memory). Position 0, 0 and full opacity, as every new title starts.
    TextOp* NewRecord() const;
    // The colours, as the colour buttons set them (one edit when a title is selected).
    void SetTextColor(const QColor& color);
    void SetShadowColor(const QColor& color);
    QColor TextColor() const { return textColor_; }
    QColor ShadowColor() const { return shadowColor_; }

    QPlainTextEdit* TextEdit() const { return text_; }
    QComboBox* FontBox() const { return font_; }
    QSpinBox* SizeBox() const { return size_; }
    QListWidget* StyleList() const { return styles_; }
    QSpinBox* XBox() const { return x_; }
    QSpinBox* YBox() const { return y_; }
    QSpinBox* OpacityBox() const { return opacity_; }
    QPushButton* AddButton() const { return add_; }
    QWidget* Preview() const;

public slots:
    // The timeline's selection changed: show the selected title, or the fields for a
    // new one.
    void SelectionChanged();
    // "Add to Timeline"; true when the title was added.
    bool AddText();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    template <typename Change>
    void Edit(Change change);
    void EndGesture();
    void ShowColors();
    void UpdatePreview();
    void FillRanges();
    QString FaceName() const;
    void ShowFace(const char* face);

    TimelineEditor& editor_;
    bool filling_ = false;
    bool editing_ = false;  // changes made since the last finished gesture
    QColor textColor_{255, 255, 255};
    QColor shadowColor_{0, 0, 0};

    QLabel* textLabel_;
    QPlainTextEdit* text_;
    QLabel* fontLabel_;
    QComboBox* font_;
    QLabel* sizeLabel_;
    QSpinBox* size_;
    QPushButton* textColorButton_;
    QPushButton* shadowColorButton_;
    QLabel* styleLabel_;
    QListWidget* styles_;
    QLabel* xLabel_;
    QSpinBox* x_;
    QLabel* yLabel_;
    QSpinBox* y_;
    QLabel* opacityLabel_;
    QSlider* opacitySlider_;
    QSpinBox* opacity_;
    QPushButton* add_;
    QToolButton* play_;
    QLabel* editingNote_;
    TitlePreview* preview_;
};

}  // namespace studio
}  // namespace zolvex
