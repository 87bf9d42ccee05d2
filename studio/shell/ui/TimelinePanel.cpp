#include "studio/shell/ui/TimelinePanel.h"

#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QScrollBar>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

#include "studio/shell/StringTable.h"
#include "studio/shell/ui/TimelineView.h"

namespace zolvex {
namespace studio {

namespace {

constexpr int kIconSize = 20;

// The buttons in their row: command id and the number of its text.
struct ButtonEntry {
    int command;
    int text;
};
const ButtonEntry kButtons[] = {
    {kCommandMarkIn, 44}, {kCommandMarkOut, 45},   {kCommandCut, 46},       {kCommandDelete, 47},
    {kCommandUndo, 48},   {kCommandRedo, 49},      {kCommandMoveLeft, 50},  {kCommandMoveRight, 51},
    {kCommandMoveUp, 52}, {kCommandMoveDown, 53},  {kCommandRecordAudio, 43},
};

// Where each button of message 1154 sits.
int CommandOfButton(int button)
{
    switch (button) {
    case kButtonUndo: return kCommandUndo;
    case kButtonRedo: return kCommandRedo;
    case kButtonMoveUp: return kCommandMoveUp;
    case kButtonMoveDown: return kCommandMoveDown;
    case kButtonMoveLeft: return kCommandMoveLeft;
    case kButtonMoveRight: return kCommandMoveRight;
    default: return 0;
    }
}

// An arrow along the icon's middle pointing left, turned by `degrees`.
QPainterPath Arrow(double degrees)
{
    QPainterPath path;
    path.moveTo(3, 10);
    path.lineTo(10, 3.5);
    path.lineTo(10, 7.5);
    path.lineTo(17, 7.5);
    path.lineTo(17, 12.5);
    path.lineTo(10, 12.5);
    path.lineTo(10, 16.5);
    path.closeSubpath();
    QTransform turn;
    turn.translate(10, 10);
    turn.rotate(degrees);
    turn.translate(-10, -10);
    return turn.map(path);
}

// A curved arrow, bending back to the left (undo) or mirrored (redo).
void DrawTurn(QPainter& p, bool back, const QColor& colour)
{
    p.save();
    if (!back) {
        p.translate(kIconSize, 0);
        p.scale(-1, 1);
    }
    QPainterPath curve;
    curve.moveTo(5.5, 8);
    curve.cubicTo(9, 4.5, 17, 5, 16.5, 11);
    curve.cubicTo(16, 15.5, 11, 16, 8.5, 16);
    p.setPen(QPen(colour, 2.2, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(Qt::NoBrush);
    p.drawPath(curve);
    QPainterPath head;
    head.moveTo(2, 9.5);
    head.lineTo(8.5, 3.5);
    head.lineTo(9, 11);
    head.closeSubpath();
    p.setPen(Qt::NoPen);
    p.setBrush(colour);
    p.drawPath(head);
    p.restore();
}

QIcon DrawIcon(int command)
{
    const QColor ink(58, 64, 74), mark(30, 110, 215), red(196, 52, 44);
    QPixmap pixmap(kIconSize * 2, kIconSize * 2);
    pixmap.setDevicePixelRatio(2);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const QPen line(ink, 2, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin);
    switch (command) {
    case kCommandMarkIn:
    case kCommandMarkOut: {
        const bool in = command == kCommandMarkIn;
        const double stem = in ? 6 : 14, serif = in ? 12 : 8;
        p.setPen(QPen(mark, 2.4, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin));
        QPainterPath bracket;
        bracket.moveTo(serif, 3.5);
        bracket.lineTo(stem, 3.5);
        bracket.lineTo(stem, 16.5);
        bracket.lineTo(serif, 16.5);
        p.drawPath(bracket);
        p.setPen(QPen(ink, 1.4, Qt::DotLine));
        const double guide = in ? 15 : 5;
        p.drawLine(QPointF(guide, 2), QPointF(guide, 18));
        break;
    }
    case kCommandCut: {
        p.setPen(QPen(ink, 1.8));
        p.drawLine(QPointF(6, 2.5), QPointF(13.5, 13));
        p.drawLine(QPointF(14, 2.5), QPointF(6.5, 13));
        p.setPen(QPen(red, 1.8));
        p.setBrush(Qt::NoBrush);
        p.drawEllipse(QPointF(5.5, 15), 2.6, 2.6);
        p.drawEllipse(QPointF(14.5, 15), 2.6, 2.6);
        break;
    }
    case kCommandDelete: {
        p.setPen(line);
        p.setBrush(Qt::NoBrush);
        p.drawLine(QPointF(3.5, 5), QPointF(16.5, 5));
        p.drawLine(QPointF(8, 3), QPointF(12, 3));
        QPainterPath bin;
        bin.moveTo(5, 6);
        bin.lineTo(6, 17);
        bin.lineTo(14, 17);
        bin.lineTo(15, 6);
        p.drawPath(bin);
        p.setPen(QPen(red, 1.6));
        p.drawLine(QPointF(8.5, 8), QPointF(8.5, 15));
        p.drawLine(QPointF(11.5, 8), QPointF(11.5, 15));
        break;
    }
    case kCommandUndo:
    case kCommandRedo:
        DrawTurn(p, command == kCommandUndo, ink);
        break;
    case kCommandRecordAudio: {
        // A microphone: its head, the cradle and the stand, with a red recording dot.
        p.setPen(Qt::NoPen);
        p.setBrush(ink);
        p.drawRoundedRect(QRectF(7, 2, 6, 10), 3, 3);
        p.setPen(line);
        p.setBrush(Qt::NoBrush);
        p.drawArc(QRectF(4.5, 5, 11, 10), 200 * 16, 140 * 16);
        p.drawLine(QPointF(10, 15), QPointF(10, 18));
        p.drawLine(QPointF(7, 18), QPointF(13, 18));
        p.setPen(Qt::NoPen);
        p.setBrush(red);
        p.drawEllipse(QRectF(14, 1, 5, 5));
        break;
    }
    default: {
        const double degrees = command == kCommandMoveLeft    ? 0
                               : command == kCommandMoveRight ? 180
                               : command == kCommandMoveUp    ? 90
                                                              : 270;
        p.setPen(Qt::NoPen);
        p.setBrush(ink);
        p.drawPath(Arrow(degrees));
        break;
    }
    }
    p.end();
    QIcon icon(pixmap);
    // The disabled look: the same drawing, faint.
    QPixmap faint(pixmap.size());
    faint.setDevicePixelRatio(2);
    faint.fill(Qt::transparent);
    QPainter q(&faint);
    q.setOpacity(0.32);
    q.drawPixmap(0, 0, pixmap);
    q.end();
    icon.addPixmap(faint, QIcon::Disabled);
    return icon;
}

QString TimeText(double seconds, int fps) { return QString::fromStdString(RulerLabel(seconds, fps)); }

}  // namespace

TimelinePanel::TimelinePanel(TimelineEditor& editor, QWidget* parent) : QWidget(parent), editor_(editor)
{
    setObjectName("Timeline");
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(2);

    auto* tools = new QHBoxLayout;
    tools->setContentsMargins(2, 0, 2, 0);
    tools->setSpacing(1);
    for (const ButtonEntry& entry : kButtons) {
        auto* button = new QToolButton;
        button->setObjectName(QString("Command%1").arg(entry.command));
        button->setIcon(DrawIcon(entry.command));
        button->setIconSize(QSize(kIconSize, kIconSize));
        button->setAutoRaise(true);
        button->setFocusPolicy(Qt::NoFocus);
        connect(button, &QToolButton::clicked, this, [this, id = entry.command] { emit commandRequested(id); });
        buttons_[entry.command] = {button, entry.text};
        tools->addWidget(button);
        // Marks, editing, history and moving are four groups.
        if (entry.command == kCommandMarkOut || entry.command == kCommandDelete || entry.command == kCommandRedo ||
            entry.command == kCommandMoveRight || entry.command == kCommandMoveDown) {
            auto* gap = new QFrame;
            gap->setFrameShape(QFrame::VLine);
            gap->setFrameShadow(QFrame::Sunken);
            gap->setFixedHeight(kIconSize);
            tools->addSpacing(3);
            tools->addWidget(gap);
            tools->addSpacing(3);
        }
    }
    tools->addStretch();
    times_ = new QLabel;
    times_->setObjectName("TimelineTimes");
    times_->setTextFormat(Qt::PlainText);
    tools->addWidget(times_);
    column->addLayout(tools);

    auto* frame = new QFrame;
    frame->setFrameShape(QFrame::StyledPanel);
    frame->setFrameShadow(QFrame::Sunken);
    auto* grid = new QGridLayout(frame);
    grid->setContentsMargins(1, 1, 1, 1);
    grid->setSpacing(0);
    view_ = new TimelineView(editor_);
    across_ = new QScrollBar(Qt::Horizontal);
    across_->setObjectName("TimelineScroll");
    down_ = new QScrollBar(Qt::Vertical);
    down_->setObjectName("TimelineRows");
    grid->addWidget(view_, 0, 0);
    grid->addWidget(down_, 0, 1);
    grid->addWidget(across_, 1, 0);
    column->addWidget(frame, 1);

    connect(across_, &QScrollBar::valueChanged, this, [this](int value) {
        if (value == editor_.scroll)
            return;
        editor_.scroll = value;
        view_->update();
    });
    connect(down_, &QScrollBar::valueChanged, view_, &TimelineView::SetRowOffset);
    connect(view_, &TimelineView::axisChanged, this, &TimelinePanel::SyncScrollBars);
    connect(view_, &TimelineView::playheadMoved, this, &TimelinePanel::ShowTimes);

    // Until the editor says otherwise, there is nothing to undo or move.
    for (int button = kButtonUndo; button <= kButtonMoveRight; ++button)
        SetButtonEnabled(button, false);
    Retranslate();
    SyncScrollBars();
}

QSize TimelinePanel::sizeHint() const { return QSize(1200, 240); }

QToolButton* TimelinePanel::Button(int command) const
{
    const auto it = buttons_.find(command);
    return it == buttons_.end() ? nullptr : it->second.first;
}

void TimelinePanel::SetButtonEnabled(int button, bool enabled)
{
    if (QToolButton* b = Button(CommandOfButton(button)))
        b->setEnabled(enabled);
}

void TimelinePanel::Retranslate()
{
    for (auto& [command, entry] : buttons_) {
        const QString text = QString::fromStdString(Str(entry.second));
        entry.first->setToolTip(text);
        entry.first->setAccessibleName(text);
    }
    view_->Retranslate();
    ShowTimes();
}

void TimelinePanel::Refresh()
{
    view_->Refresh();
    ShowTimes();
}

void TimelinePanel::SyncScrollBars()
{
    const int W = view_->width();
    const int page = std::max(1, W - kLabelColumn);
    const int most = std::max(0, editor_.AxisPixels(W) - page);
    across_->blockSignals(true);
    across_->setRange(0, most);
    across_->setPageStep(page);
    across_->setSingleStep(std::max(1, page / 20));
    across_->setValue(editor_.scroll);
    across_->blockSignals(false);
    across_->setEnabled(most > 0);

    down_->blockSignals(true);
    down_->setRange(0, view_->RowRange());
    down_->setPageStep(std::max(1, view_->height() - TimelineView::kRowsTop));
    down_->setSingleStep(TimelineView::kRowHeight);
    down_->setValue(view_->RowOffset());
    down_->blockSignals(false);
    down_->setVisible(view_->RowRange() > 0);
    ShowTimes();
}

void TimelinePanel::PlayheadMoved()
{
    view_->update();
    ShowTimes();
}

void TimelinePanel::ShowTimes()
{
    const int fps = view_->FrameRate();
    times_->setText(TimeText(editor_.playhead, fps) + " / " + TimeText(editor_.Model().TotalLength(), fps));
}

}  // namespace studio
}  // namespace zolvex
