#include "studio/shell/ui/TextPage.h"

#include <QColorDialog>
#include <QComboBox>
#include <QEvent>
#include <QFontDatabase>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLinearGradient>
#include <QListWidget>
#include <QPainter>
#include <QPainterPath>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QStyle>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "studio/shell/ui/UiText.h"
#include "filter/text/FontMapping.h"
#include "studio/shell/TimelineEditor.h"

namespace zolvex {
namespace studio {

namespace {

const char* const kStyleNames[kTitleStyleCount] = {
    "Fade in/out", "Flash", "Scroll Band", "Rotate in/out", "Zoom in/out", "Jump in/out", "Roll in/out", "Flight in/out",
};

constexpr int kDefaultSize = 24;
constexpr int kTextBytes = int(sizeof(TextOp::szText)) - 1;   // its NUL takes the last byte
constexpr int kFaceBytes = int(sizeof(LOGFONTA::lfFaceName)) - 1;
// A preview of a title that has no times of its own runs this long.
constexpr double kPreviewSeconds = 6.0;
constexpr int kPreviewFrameMs = 40;

QColor FromColorRef(COLORREF c) { return QColor(GetRValue(c), GetGValue(c), GetBValue(c)); }
COLORREF ToColorRef(const QColor& c) { return RGB(BYTE(c.red()), BYTE(c.green()), BYTE(c.blue())); }

// The text as it fits the record: whole characters up to 999 bytes.
QByteArray FittingText(const QString& text)
{
    QByteArray bytes = text.toUtf8();
    if (bytes.size() <= kTextBytes)
        return bytes;
    int cut = kTextBytes;
    while (cut > 0 && (uchar(bytes[cut]) & 0xC0) == 0x80)
        --cut;
    return bytes.left(cut);
}

QFont TitleFont(const TextOp& title)
{
    QFont font(QString::fromStdString(text::ResolveFamily(title.lfFont.lfFaceName)));
    font.setPixelSize(std::max(1, int(std::lround(text::CharHeightPixels(title.lfFont)))));
    if (title.lfFont.lfWeight > 0)
        font.setWeight(QFont::Weight(std::clamp(int(title.lfFont.lfWeight), 100, 900)));
    font.setItalic(title.lfFont.lfItalic != 0);
    font.setUnderline(title.lfFont.lfUnderline != 0);
    font.setStrikeOut(title.lfFont.lfStrikeOut != 0);
    return font;
}

// One call of the title drawing: opacity factor, angle, scales and position in
// reference-frame pixels.
struct Pose {
    double f = 1, a = 0, sx = 1, sy = 1;
    double x = 0, y = 0;
};

QSizeF Measure(const QFontMetricsF& metrics, const QString& text)
{
    const QRectF box = metrics.boundingRect(QRectF(0, 0, 1e6, 1e6), Qt::AlignLeft | Qt::AlignTop, text);
    return QSizeF(std::ceil(box.width()), std::ceil(box.height()));
}

// Draws one piece of a title as the frame producer does: a soft shadow one pixel
// down and right, then the text, both turned and scaled about the piece's centre.
void DrawPiece(QPainter& p, const TextOp& title, const QFont& font, const QString& text, const Pose& pose, int width,
               int height, int refWidth, int refHeight)
{
    if (text.isEmpty() || pose.f <= 0)
        return;
    const QSizeF size = Measure(QFontMetricsF(font), text);
    if (size.isEmpty())
        return;
    const double tw = size.width(), th = size.height();
    const double x = std::trunc(pose.x) * width / std::max(1, refWidth);
    const double y = std::trunc(pose.y) * height / std::max(1, refHeight);
    const QTransform placement = QTransform::fromTranslate(-tw / 2, -th / 2) * QTransform().rotate(pose.a) *
                                 QTransform::fromScale(pose.sx, pose.sy) *
                                 QTransform::fromTranslate(tw * pose.sx / 2 + x, th * pose.sy / 2 + y);
    const double opacity = std::clamp(title.nOpacity, 0, 255) / 255.0;

    // The shadow drawn at a quarter of the size and stretched back blurs it softly.
    QImage shadow(int(tw / 4) + 3, int(th / 4) + 3, QImage::Format_ARGB32_Premultiplied);
    shadow.fill(Qt::transparent);
    {
        QPainter sp(&shadow);
        sp.setRenderHint(QPainter::TextAntialiasing);
        sp.setTransform(QTransform(0.25, 0, 0, 0.25, 0.25, 0.25));
        sp.setFont(font);
        QColor c = FromColorRef(title.crShadow);
        c.setAlphaF(float(std::clamp(pose.f * opacity * 0.8, 0.0, 1.0)));
        sp.setPen(c);
        sp.drawText(QRectF(0, 0, tw + 4, th + 4), Qt::AlignLeft | Qt::AlignTop, text);
    }
    p.save();
    p.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing | QPainter::SmoothPixmapTransform);
    p.setTransform(placement, true);
    p.drawImage(QRectF(0, 0, shadow.width() * 4.0, shadow.height() * 4.0), shadow);
    p.setFont(font);
    QColor c = FromColorRef(title.crText);
    c.setAlphaF(float(std::clamp(pose.f * opacity, 0.0, 1.0)));
    p.setPen(c);
    p.drawText(QRectF(0, 0, tw + 4, th + 4), Qt::AlignLeft | Qt::AlignTop, text);
    p.restore();
}

// The title at e seconds into its d seconds on a width × height frame, with the
// motion of its style (style 0 draws it still).
void DrawTitle(QPainter& p, const TextOp& title, int style, double e, double d, int width, int height, int refWidth,
               int refHeight)
{
    const QString text = QString::fromUtf8(title.szText, int(strnlen(title.szText, sizeof title.szText)));
    if (text.isEmpty())
        return;
    const QFont font = TitleFont(title);
    const double s = width * 0.003125;
    const double rem = d - e;
    const bool intro = e < 1.2, outro = e > d - 1.2;
    const double pIn = e / 1.2, pOut = rem / 1.2;
    Pose pose;
    pose.sx = pose.sy = s;
    pose.x = title.nX;
    pose.y = title.nY;
    switch (style) {
    case 1: pose.f = intro ? pIn : outro ? pOut : 1; break;
    case 2: pose.f = (int64_t(std::trunc(2 * e)) % 2) ? 1 : 0; break;
    case 3: {
        const double tw = Measure(QFontMetricsF(font), text).width();
        pose.x = (1 - (int64_t(std::trunc(10 * e)) % 100) / 100.0) * (width + tw) - tw;
        pose.x = pose.x * refWidth / std::max(1, width);  // the marquee runs in frame pixels
        break;
    }
    case 4:
        if (intro)
            pose.sx = pose.sy = s * pIn, pose.a = 300 * e;
        else if (outro)
            pose.sx = pose.sy = s * pOut, pose.a = 300 * rem;
        break;
    case 5:
        if (intro)
            pose.sx = pose.sy = s * pIn;
        else if (outro)
            pose.sx = pose.sy = s * pOut;
        break;
    case 6:
        if (intro || outro) {
            const double r = intro ? e : rem;
            pose.x = title.nX - (refWidth - (r / 1.2) * refWidth);
            pose.y = title.nY - std::trunc(std::sin(15.707963 * e) * refHeight / 6);
        }
        break;
    case 7:
        if (intro || outro) {
            const double r = intro ? e : rem;
            const double g = refWidth - (intro ? pIn : pOut) * refWidth;
            const QFontMetricsF metrics(font);
            double pen = 0, line = 0;
            for (const QChar ch : text) {
                if (ch == '\n') {
                    pen = 0;
                    line += metrics.height();
                    continue;
                }
                Pose piece = pose;
                piece.a = 300 * r;
                piece.x = pen * s + title.nX - g;
                piece.y = line * s + title.nY;
                DrawPiece(p, title, font, QString(ch), piece, width, height, refWidth, refHeight);
                pen += metrics.horizontalAdvance(ch);
            }
            return;
        }
        break;
    case 8:
        if (intro) {
            pose.a = std::trunc(30 - 25 * e);
            pose.x = title.nX + std::trunc(refWidth - pIn * refWidth);
            pose.y = title.nY - std::trunc(refHeight - pIn * refHeight);
        } else if (outro) {
            pose.a = std::trunc(25 * rem);
            pose.x = title.nX - std::trunc(refWidth - pOut * refWidth);
            pose.y = title.nY - std::trunc(refHeight - pOut * refHeight);
        }
        break;
    default: break;
    }
    DrawPiece(p, title, font, text, pose, width, height, refWidth, refHeight);
}

// A stand-in for the scene under the title: an evening sky over a dark shore.
void DrawBackdrop(QPainter& p, const QRect& r)
{
    QLinearGradient sky(r.topLeft(), r.bottomLeft());
    sky.setColorAt(0.0, QColor(38, 62, 104));
    sky.setColorAt(0.62, QColor(196, 132, 96));
    sky.setColorAt(0.63, QColor(52, 58, 66));
    sky.setColorAt(1.0, QColor(24, 28, 34));
    p.fillRect(r, sky);
}

QIcon StyleIcon(int style)
{
    // Titles are drawn at a 320-pixel frame's scale, so a tiny frame takes a big font.
    constexpr int kW = 56, kH = 34;
    TextOp sample;
    std::memset(&sample, 0, sizeof sample);
    std::strcpy(sample.szText, "Ab");
    sample.lfFont.lfHeight = TitleFontHeight(96);
    sample.lfFont.lfWeight = 700;
    std::strcpy(sample.lfFont.lfFaceName, "Arial");
    sample.crText = RGB(255, 236, 120);
    sample.crShadow = RGB(0, 0, 0);
    sample.nOpacity = 255;
    sample.nX = 14;
    sample.nY = 6;
    QPixmap pixmap(kW, kH);
    QPainter p(&pixmap);
    DrawBackdrop(p, pixmap.rect());
    // Each style caught where its motion shows best.
    const double at[kTitleStyleCount] = {0.55, 0.6, 1.5, 0.75, 0.6, 1.1, 0.95, 1.0};
    DrawTitle(p, sample, style, at[style - 1], 10.0, kW, kH, kW, kH);
    p.end();
    return QIcon(pixmap);
}

}  // namespace

const char* TitleStyleName(int style)
{
    return style >= 1 && style <= kTitleStyleCount ? kStyleNames[style - 1] : "";
}

int TitleFontHeight(int size) { return size * 20 / 15; }

int TitleFontSize(int height) { return int(std::lround(height * 15 / 20.0)); }

// ---- the preview ------------------------------------------------------------------

class TitlePreview : public QWidget {
public:
    explicit TitlePreview(QWidget* parent) : QWidget(parent)
    {
        std::memset(&title_, 0, sizeof title_);
        setMinimumSize(240, 150);
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
        timer_.setInterval(kPreviewFrameMs);
        QObject::connect(&timer_, &QTimer::timeout, this, [this] {
            time_ += kPreviewFrameMs / 1000.0;
            if (time_ > Duration())
                time_ = 0;
            update();
        });
    }

    void Show(const TextOp& title, int refWidth, int refHeight)
    {
        title_ = title;
        refWidth_ = std::max(1, refWidth);
        refHeight_ = std::max(1, refHeight);
        update();
    }
    void SetPlaying(bool playing)
    {
        time_ = 0;
        playing ? timer_.start() : timer_.stop();
        update();
    }
    bool Playing() const { return timer_.isActive(); }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        p.fillRect(rect(), palette().window());
        // The frame in the project's proportions, as large as the widget allows.
        const double aspect = double(refWidth_) / refHeight_;
        int w = width() - 8, h = int(w / aspect);
        if (h > height() - 8)
            h = height() - 8, w = int(h * aspect);
        if (w <= 0 || h <= 0)
            return;
        const QRect frame((width() - w) / 2, (height() - h) / 2, w, h);
        p.setPen(palette().mid().color());
        p.drawRect(frame.adjusted(-1, -1, 0, 0));
        p.setClipRect(frame);
        DrawBackdrop(p, frame);
        p.translate(frame.topLeft());
        DrawTitle(p, title_, Playing() ? title_.nStyle : 0, time_, Duration(), w, h, refWidth_, refHeight_);
    }

private:
    double Duration() const
    {
        const double d = title_.dEndTime - title_.dStartTime;
        return d > 0.1 && d < 600 ? d : kPreviewSeconds;
    }

    TextOp title_;
    int refWidth_ = 352, refHeight_ = 240;
    double time_ = 0;
    QTimer timer_;
};

// ---- the page ---------------------------------------------------------------------

TextPage::TextPage(TimelineEditor& editor, QWidget* parent) : QWidget(parent), editor_(editor)
{
    setObjectName("TextPage");

    textLabel_ = new QLabel(this);
    text_ = new QPlainTextEdit(this);
    text_->setObjectName("TitleText");
    text_->setTabChangesFocus(true);
    text_->setMinimumHeight(64);
    text_->setMaximumHeight(110);
    text_->installEventFilter(this);
    textLabel_->setBuddy(text_);

    fontLabel_ = new QLabel(this);
    font_ = new QComboBox(this);
    font_->setObjectName("TitleFont");
    // A face name must fit its 31 bytes; longer family names could not be kept.
    for (const QString& family : QFontDatabase::families())
        if (family.toUtf8().size() <= kFaceBytes && !QFontDatabase::isPrivateFamily(family))
            font_->addItem(family);
    for (const char* preferred : {"Liberation Sans", "DejaVu Sans", "Arial"}) {
        const int at = font_->findText(preferred);
        if (at >= 0) {
            font_->setCurrentIndex(at);
            break;
        }
    }
    fontLabel_->setBuddy(font_);
    sizeLabel_ = new QLabel(this);
    size_ = new QSpinBox(this);
    size_->setObjectName("TitleSize");
    size_->setRange(4, 400);
    size_->setValue(kDefaultSize);
    sizeLabel_->setBuddy(size_);

    textColorButton_ = new QPushButton(this);
    shadowColorButton_ = new QPushButton(this);
    textColorButton_->setAutoDefault(false);
    shadowColorButton_->setAutoDefault(false);

    styleLabel_ = new QLabel(this);
    styles_ = new QListWidget(this);
    styles_->setObjectName("TitleStyles");
    styles_->setIconSize(QSize(56, 34));
    styles_->setUniformItemSizes(true);
    for (int style = 1; style <= kTitleStyleCount; ++style)
        styles_->addItem(new QListWidgetItem(StyleIcon(style), QString()));
    styles_->setCurrentRow(0);
    styleLabel_->setBuddy(styles_);

    xLabel_ = new QLabel(this);
    yLabel_ = new QLabel(this);
    x_ = new QSpinBox(this);
    y_ = new QSpinBox(this);
    x_->setObjectName("TitleX");
    y_->setObjectName("TitleY");
    xLabel_->setBuddy(x_);
    yLabel_->setBuddy(y_);
    opacityLabel_ = new QLabel(this);
    opacitySlider_ = new QSlider(Qt::Horizontal, this);
    opacitySlider_->setRange(0, 255);
    opacity_ = new QSpinBox(this);
    opacity_->setObjectName("TitleOpacity");
    opacity_->setRange(0, 255);
    opacity_->setValue(255);
    opacitySlider_->setValue(255);
    opacityLabel_->setBuddy(opacity_);
    editingNote_ = new QLabel(this);
    editingNote_->setObjectName("EditingNote");
    editingNote_->setWordWrap(true);
    QPalette note = editingNote_->palette();
    note.setColor(QPalette::WindowText, note.color(QPalette::PlaceholderText));
    editingNote_->setPalette(note);

    add_ = new QPushButton(this);
    add_->setObjectName("AddText");
    add_->setAutoDefault(false);
    preview_ = new TitlePreview(this);
    play_ = new QToolButton(this);
    play_->setCheckable(true);
    play_->setIcon(style()->standardIcon(QStyle::SP_MediaPlay));
    play_->setAutoRaise(true);

    // ---- edits ----
    connect(text_, &QPlainTextEdit::textChanged, this, [this] {
        if (filling_)
            return;
        const QByteArray bytes = FittingText(text_->toPlainText());
        if (bytes.size() < text_->toPlainText().toUtf8().size()) {
            // The title holds 999 bytes: what does not fit is not taken.
            filling_ = true;
            text_->setPlainText(QString::fromUtf8(bytes));
            text_->moveCursor(QTextCursor::End);
            filling_ = false;
        }
        Edit([&](TextOp& t) {
            std::memset(t.szText, 0, sizeof t.szText);
            std::memcpy(t.szText, bytes.constData(), size_t(bytes.size()));
        });
    });
    connect(font_, &QComboBox::currentTextChanged, this, [this] {
        const QByteArray face = FaceName().toUtf8();
        Edit([&](TextOp& t) {
            std::memset(t.lfFont.lfFaceName, 0, sizeof t.lfFont.lfFaceName);
            std::memcpy(t.lfFont.lfFaceName, face.constData(), size_t(std::min<int>(face.size(), kFaceBytes)));
        });
        EndGesture();
    });
    connect(size_, &QSpinBox::valueChanged, this, [this](int v) { Edit([&](TextOp& t) { t.lfFont.lfHeight = TitleFontHeight(v); }); });
    connect(size_, &QSpinBox::editingFinished, this, &TextPage::EndGesture);
    connect(styles_, &QListWidget::currentRowChanged, this, [this](int row) {
        if (row < 0)
            return;
        Edit([&](TextOp& t) { t.nStyle = row + 1; });
        EndGesture();
    });
    connect(x_, &QSpinBox::valueChanged, this, [this](int v) { Edit([&](TextOp& t) { t.nX = v; }); });
    connect(y_, &QSpinBox::valueChanged, this, [this](int v) { Edit([&](TextOp& t) { t.nY = v; }); });
    connect(opacity_, &QSpinBox::valueChanged, this, [this](int v) {
        if (opacitySlider_->value() != v)
            opacitySlider_->setValue(v);
        Edit([&](TextOp& t) { t.nOpacity = v; });
    });
    connect(opacitySlider_, &QSlider::valueChanged, opacity_, &QSpinBox::setValue);
    for (QSpinBox* box : {x_, y_, opacity_})
        connect(box, &QSpinBox::editingFinished, this, &TextPage::EndGesture);
    connect(opacitySlider_, &QSlider::sliderReleased, this, &TextPage::EndGesture);
    connect(textColorButton_, &QPushButton::clicked, this, [this] {
        const QColor c = QColorDialog::getColor(textColor_, this, S(148));
        if (c.isValid())
            SetTextColor(c);
    });
    connect(shadowColorButton_, &QPushButton::clicked, this, [this] {
        const QColor c = QColorDialog::getColor(shadowColor_, this, S(147));
        if (c.isValid())
            SetShadowColor(c);
    });
    connect(add_, &QPushButton::clicked, this, &TextPage::AddText);
    connect(play_, &QToolButton::toggled, this, [this](bool on) {
        play_->setIcon(style()->standardIcon(on ? QStyle::SP_MediaStop : QStyle::SP_MediaPlay));
        preview_->SetPlaying(on);
    });

    // ---- layout ----
    auto* fontRow = new QHBoxLayout;
    fontRow->addWidget(font_, 1);
    fontRow->addSpacing(8);
    fontRow->addWidget(sizeLabel_);
    fontRow->addWidget(size_);
    auto* colorRow = new QHBoxLayout;
    colorRow->addWidget(textColorButton_);
    colorRow->addWidget(shadowColorButton_);
    colorRow->addStretch();
    auto* placeRow = new QHBoxLayout;
    placeRow->addWidget(xLabel_);
    placeRow->addWidget(x_);
    placeRow->addSpacing(8);
    placeRow->addWidget(yLabel_);
    placeRow->addWidget(y_);
    placeRow->addStretch();
    auto* opacityRow = new QHBoxLayout;
    opacityRow->addWidget(opacitySlider_, 1);
    opacityRow->addWidget(opacity_);

    auto* form = new QFormLayout;
    form->setLabelAlignment(Qt::AlignRight | Qt::AlignVCenter);
    form->addRow(fontLabel_, fontRow);
    form->addRow(QString(), colorRow);
    form->addRow(QString(), placeRow);
    form->addRow(opacityLabel_, opacityRow);

    auto* left = new QVBoxLayout;
    left->addWidget(textLabel_);
    left->addWidget(text_);
    left->addLayout(form);
    auto* previewHead = new QHBoxLayout;
    previewHead->addWidget(editingNote_, 1);
    previewHead->addWidget(play_);
    left->addLayout(previewHead);
    left->addWidget(preview_, 1);
    auto* addRow = new QHBoxLayout;
    addRow->addStretch();
    addRow->addWidget(add_);
    left->addLayout(addRow);

    auto* right = new QVBoxLayout;
    right->addWidget(styleLabel_);
    right->addWidget(styles_, 1);

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(6, 6, 6, 6);
    layout->addLayout(left, 3);
    layout->addSpacing(6);
    layout->addLayout(right, 1);

    FillRanges();
    ShowColors();
    Retranslate();
    SelectionChanged();
}

TextPage::~TextPage() = default;

QWidget* TextPage::Preview() const { return preview_; }

void TextPage::Retranslate()
{
    textLabel_->setText(S(6) + ":");
    fontLabel_->setText(S(24) + ":");
    sizeLabel_->setText(S(25) + ":");
    textColorButton_->setText(S(148));
    shadowColorButton_->setText(S(147));
    styleLabel_->setText(S(27) + ":");
    xLabel_->setText(S(120) + ":");
    yLabel_->setText(S(121) + ":");
    opacityLabel_->setText(S(80) + ":");
    add_->setText(S(20));
    for (int style = 1; style <= kTitleStyleCount; ++style)
        styles_->item(style - 1)->setText(TitleStyleName(style));
    play_->setToolTip(S(54));
    editingNote_->setText(Target() ? QStringLiteral("Changes go to the selected title.") : QString());
    text_->setAccessibleName(S(6));
}

TextOp* TextPage::Target() const
{
    return editor_.TargetKind() == OBJ_TEXT ? static_cast<TextOp*>(editor_.TargetRecord()) : nullptr;
}

template <typename Change>
void TextPage::Edit(Change change)
{
    if (filling_)
        return;
    if (TextOp* t = Target()) {
        editor_.HoldForRecordEdit();
        change(*t);
        editing_ = true;
        editor_.RecordEdited(false);
    }
    UpdatePreview();
}

void TextPage::EndGesture()
{
    if (!editing_)
        return;
    editing_ = false;
    editor_.RecordEdited(true);
}

bool TextPage::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == text_ && event->type() == QEvent::FocusOut)
        EndGesture();
    return QWidget::eventFilter(watched, event);
}

void TextPage::SetTextColor(const QColor& color)
{
    textColor_ = color;
    ShowColors();
    Edit([&](TextOp& t) { t.crText = ToColorRef(color); });
    EndGesture();
}

void TextPage::SetShadowColor(const QColor& color)
{
    shadowColor_ = color;
    ShowColors();
    Edit([&](TextOp& t) { t.crShadow = ToColorRef(color); });
    EndGesture();
}

void TextPage::ShowColors()
{
    auto swatch = [](const QColor& c) {
        QPixmap p(18, 14);
        p.fill(c);
        QPainter painter(&p);
        painter.setPen(QColor(90, 90, 90));
        painter.drawRect(0, 0, 17, 13);
        return QIcon(p);
    };
    textColorButton_->setIcon(swatch(textColor_));
    shadowColorButton_->setIcon(swatch(shadowColor_));
}

QString TextPage::FaceName() const { return font_->currentText(); }

void TextPage::ShowFace(const char* face)
{
    const QString name = QString::fromUtf8(face, int(strnlen(face, sizeof(LOGFONTA::lfFaceName))));
    if (name.isEmpty())
        return;
    int at = font_->findText(name);
    if (at < 0) {
        // A face this computer lacks (a project from elsewhere) is shown as it is kept.
        font_->insertItem(0, name);
        at = 0;
    }
    font_->setCurrentIndex(at);
}

void TextPage::FillRanges()
{
    const ProjectHeader& h = editor_.Model().header;
    const int w = std::max(1, int(h.nWidth)), hh = std::max(1, int(h.nHeight));
    x_->setRange(-w, w);
    y_->setRange(-hh, hh);
}

void TextPage::SelectionChanged()
{
    EndGesture();
    filling_ = true;
    FillRanges();
    const TextOp* t = Target();
    if (t) {
        text_->setPlainText(QString::fromUtf8(t->szText, int(strnlen(t->szText, sizeof t->szText))));
        text_->moveCursor(QTextCursor::End);
        ShowFace(t->lfFont.lfFaceName);
        size_->setValue(TitleFontSize(t->lfFont.lfHeight));
        textColor_ = FromColorRef(t->crText);
        shadowColor_ = FromColorRef(t->crShadow);
        if (t->nStyle >= 1 && t->nStyle <= kTitleStyleCount)
            styles_->setCurrentRow(t->nStyle - 1);
        else
            styles_->clearSelection(), styles_->setCurrentRow(-1);
        x_->setValue(t->nX);
        y_->setValue(t->nY);
        opacity_->setValue(t->nOpacity);
        opacitySlider_->setValue(t->nOpacity);
    } else {
        // A new title starts at the top-left corner, fully opaque.
        x_->setValue(0);
        y_->setValue(0);
        opacity_->setValue(255);
        opacitySlider_->setValue(255);
        if (styles_->currentRow() < 0)
            styles_->setCurrentRow(0);
    }
    for (QWidget* w : std::initializer_list<QWidget*>{x_, y_, opacity_, opacitySlider_, xLabel_, yLabel_, opacityLabel_})
        w->setEnabled(t != nullptr);
    ShowColors();
    filling_ = false;
    Retranslate();
    UpdatePreview();
}

TextOp* TextPage::NewRecord() const
{
    TextOp* t = new (std::nothrow) TextOp();
    if (!t)
        return nullptr;
    const QByteArray bytes = FittingText(text_->toPlainText());
    std::memcpy(t->szText, bytes.constData(), size_t(bytes.size()));
    const int row = styles_->currentRow();
    t->nStyle = row >= 0 ? row + 1 : 0;
    t->lfFont.lfHeight = TitleFontHeight(size_->value());
    t->lfFont.lfWeight = 400;
    const QByteArray face = FaceName().toUtf8();
    std::memcpy(t->lfFont.lfFaceName, face.constData(), size_t(std::min<int>(face.size(), kFaceBytes)));
    t->crText = ToColorRef(textColor_);
    t->crShadow = ToColorRef(shadowColor_);
    t->nX = 0;
    t->nY = 0;
    t->nOpacity = 255;
    return t;
}

bool TextPage::AddText()
{
    EndGesture();
    TextOp* t = NewRecord();
    if (!t)
        return false;
    // The editor takes the record, and frees it when it is not added.
    const bool added = editor_.AddObject(OBJ_TEXT, t);
    SelectionChanged();
    return added;
}

void TextPage::UpdatePreview()
{
    const ProjectHeader& h = editor_.Model().header;
    TextOp shown;
    if (const TextOp* t = Target()) {
        shown = *t;
    } else {
        TextOp* fresh = NewRecord();
        if (!fresh)
            return;
        shown = *fresh;
        delete fresh;
    }
    preview_->Show(shown, h.nWidth > 0 ? h.nWidth : 352, h.nHeight > 0 ? h.nHeight : 240);
}

}  // namespace studio
}  // namespace zolvex
