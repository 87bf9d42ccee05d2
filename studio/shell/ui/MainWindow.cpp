#include "studio/shell/ui/MainWindow.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QPointer>
#include <QPushButton>
#include <QShortcut>
#include <QSplitter>
#include <QTabWidget>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>
#include <QWindow>

#include <cstdio>

#include "studio/project/ui/MediaLibraryPanel.h"
#include "studio/project/ui/ProjectDialog.h"
#include "studio/project/ui/ScreenPage.h"
#include "studio/project/ui/ProjectListDialog.h"
#include "studio/shell/StringTable.h"
#include "studio/shell/StudioSettings.h"
#include "studio/shell/ui/PlayerScreen.h"
#include "studio/shell/ui/SingleInstance.h"
#include "studio/shell/ui/TimelinePanel.h"
#include "studio/shell/ui/TimelineView.h"

namespace zolvex {
namespace studio {

namespace {

QString S(int n) { return QString::fromStdString(Str(n)); }

// Labels without a number of the string table, in both languages.
QString Text(const char* english, const char* chinese)
{
    return QString::fromUtf8(Strings().CurrentLanguage() == Language::kChinese ? chinese : english);
}

}  // namespace

MainWindow::MainWindow(IPrompt* prompt, QWidget* parent)
    : QMainWindow(parent),
      ownPrompt_(this),
      prompt_(prompt ? *prompt : ownPrompt_),
      database_(DataFolder()),
      library_(DataFolder()),
      store_(model_)
{
    setObjectName("MainWindow");
    // A later start finds this window by the instance name it carries.
    setProperty(kInstanceName, true);
    store_.SetPrompt(&prompt_);
    store_.SetDatabase(&database_);
    commands_ = std::make_unique<ProjectCommands>(model_, store_, prompt_, static_cast<IProjectDialogs&>(*this),
                                                  static_cast<IProjectView&>(*this));
    model_.name = Str(96);
    model_.header = ProjectHeader{352, 240, 352, 240};

    auto* central = new QWidget;
    auto* column = new QVBoxLayout(central);
    column->setContentsMargins(6, 4, 6, 6);
    column->setSpacing(4);

    auto* bar = new QFrame;
    bar->setObjectName("MenuBar");
    BuildMenus(bar);
    column->addWidget(bar);

    pages_ = new QTabWidget;
    pages_->setObjectName("Pages");
    pages_->setDocumentMode(true);
    library_.Load();
    libraryPanel_ = new MediaLibraryPanel(library_);
    pages_->addTab(libraryPanel_, S(1));
    screens_.Load(DataFolder());
    screenPage_ = new ScreenPage(screens_, DataFolder());
    for (int n = 2; n <= 7; ++n) {
        if (n == 3) {
            pages_->addTab(screenPage_, S(n));
            continue;
        }
        auto* page = new QFrame;
        page->setObjectName(QString("Page%1").arg(n));
        page->setFrameShape(QFrame::StyledPanel);
        pages_->addTab(page, S(n));
    }
    upper_ = new QSplitter(Qt::Horizontal);
    upper_->addWidget(pages_);
    upper_->addWidget(BuildPlayer());
    upper_->setStretchFactor(0, 3);
    upper_->setStretchFactor(1, 2);
    upper_->setSizes({740, 520});

    whole_ = new QSplitter(Qt::Vertical);
    whole_->addWidget(upper_);
    whole_->addWidget(BuildTimeline());
    whole_->setStretchFactor(0, 3);
    whole_->setStretchFactor(1, 1);
    whole_->setSizes({560, 200});
    column->addWidget(whole_, 1);
    setCentralWidget(central);

    resize(1280, 800);
    setMinimumSize(960, 600);
    const QByteArray geometry = QByteArray::fromHex(QByteArray::fromStdString(WindowGeometrySetting()));
    if (!geometry.isEmpty())
        restoreGeometry(geometry);
    Retranslate();
}

MainWindow::~MainWindow() = default;

void MainWindow::BuildMenus(QWidget* bar)
{
    auto* row = new QHBoxLayout(bar);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(2);
    auto addAction = [this](QMenu* menu, int text, auto slot) {
        QAction* a = menu->addAction(S(text));
        connect(a, &QAction::triggered, this, slot);
        actions_.push_back({a, text});
        return a;
    };
    // File, animation effects, Navigation, Help: Ctrl+F, Ctrl+T, Ctrl+N, Ctrl+H.
    const int keys[4] = {Qt::Key_F, Qt::Key_T, Qt::Key_N, Qt::Key_H};
    for (int k = 0; k < 4; ++k) {
        auto* button = new QToolButton;
        button->setObjectName(QString("MenuButton%1").arg(k));
        button->setPopupMode(QToolButton::InstantPopup);
        button->setToolButtonStyle(Qt::ToolButtonTextOnly);
        button->setAutoRaise(true);
        auto* menu = new QMenu(button);
        button->setMenu(menu);
        row->addWidget(button);
        menuButtons_.push_back(button);
        menus_.push_back(menu);
        auto* shortcut = new QShortcut(QKeySequence(int(Qt::CTRL) | keys[k]), this);
        connect(shortcut, &QShortcut::activated, button, &QToolButton::showMenu);
    }
    row->addStretch();

    QMenu* file = menus_[0];
    addAction(file, 36, [this] { commands_->NewProject(); });
    addAction(file, 37, [this] { commands_->OpenProject(); });
    addAction(file, 38, [this] { commands_->SaveProject(); });
    file->addSeparator();
    addAction(file, 39, [this] { close(); });

    // Importing and making animation effects come with the animation effect library.
    importAction_ = menus_[1]->addAction(S(21));
    makeAction_ = menus_[1]->addAction(QString());
    importAction_->setEnabled(false);
    makeAction_->setEnabled(false);

    for (int n = 1; n <= 7; ++n)
        addAction(menus_[2], n, [this, n] { pages_->setCurrentIndex(n - 1); });

    QMenu* help = menus_[3];
    addAction(help, 34, [this] { OpenHelp(); });
    addAction(help, 35, [this] { ShowAbout(); });
    help->addSeparator();
    auto* languages = new QActionGroup(this);
    const char* names[2] = {"English", "中文"};
    for (int language = 0; language < 2; ++language) {
        QAction* a = help->addAction(QString::fromUtf8(names[language]));
        a->setCheckable(true);
        a->setChecked(int(Strings().CurrentLanguage()) == language);
        languages->addAction(a);
        connect(a, &QAction::triggered, this, [this, language] { SetLanguage(language); });
    }
}

QWidget* MainWindow::BuildPlayer()
{
    auto* panel = new QFrame;
    panel->setObjectName("PlayerPanel");
    panel->setFrameShape(QFrame::StyledPanel);
    auto* layout = new QVBoxLayout(panel);
    playerScreen_ = new PlayerScreen(model_);
    playerScreen_->setObjectName("PlayerScreen");
    layout->addWidget(playerScreen_, 1);
    auto* controls = new QHBoxLayout;
    for (int n : {54, 55, 56}) {
        auto* b = new QPushButton(S(n));
        b->setObjectName(QString("Player%1").arg(n));
        b->setEnabled(false);  // the preview comes with the player
        controls->addWidget(b);
        labelled_.push_back({b, n});
    }
    controls->addStretch();
    layout->addLayout(controls);
    return panel;
}

QWidget* MainWindow::BuildTimeline()
{
    // Until the window keeps the timeline editor itself, the panel carries one of its
    // own over the window's project, and serves its buttons directly.
    struct EditorHolder : QObject, ITimelineListener {
        EditorHolder(ProjectModel& model, IPrompt& prompt) : editor(model, prompt, *this) {}
        void TimelineMessage(int message, int64_t first, int64_t second) override
        {
            if (!panel)
                return;
            if (message == kMsgButtonState)
                panel->SetButtonEnabled(int(first), second != 0);
            else if (message == kMsgTimelineChanged || message == kMsgBusy || message == kMsgReady)
                QMetaObject::invokeMethod(panel, [p = panel] { p->Refresh(); }, Qt::QueuedConnection);
        }
        TimelineEditor editor;
        QPointer<TimelinePanel> panel;
    };
    auto* holder = new EditorHolder(model_, prompt_);
    auto* timeline = new TimelinePanel(holder->editor);
    holder->panel = timeline;
    holder->setParent(timeline);
    connect(timeline, &TimelinePanel::commandRequested, timeline, [holder, timeline](int id) {
        TimelineEditor& e = holder->editor;
        switch (id) {
        case kCommandMarkIn: e.BeginMark(TimelineEditor::MarkMode::kIn); break;
        case kCommandMarkOut: e.BeginMark(TimelineEditor::MarkMode::kOut); break;
        case kCommandCut: e.CutMarkedRegion(); break;
        case kCommandDelete: e.DeleteSelected(); break;
        case kCommandUndo: e.Undo(); break;
        case kCommandRedo: e.Redo(); break;
        case kCommandMoveLeft: e.MoveLeft(); break;
        case kCommandMoveRight: e.MoveRight(); break;
        case kCommandMoveUp: e.MoveUp(); break;
        case kCommandMoveDown: e.MoveDown(); break;
        default: break;
        }
        timeline->Refresh();
    });
    return timeline;
}

void MainWindow::Retranslate()
{
    const int titles[4] = {28, 2, 29, 33};
    for (int k = 0; k < 4; ++k) {
        menuButtons_[size_t(k)]->setText(S(titles[k]));
        menuButtons_[size_t(k)]->setAccessibleName(S(titles[k]));
    }
    for (auto& [action, n] : actions_)
        action->setText(S(n));
    importAction_->setText(S(21));
    makeAction_->setText(Text("Make Animation Effects", "制作动画效果"));
    for (int n = 1; n <= 7; ++n)
        pages_->setTabText(n - 1, S(n));
    libraryPanel_->Retranslate();
    screenPage_->Retranslate();
    for (auto& [widget, n] : labelled_) {
        if (auto* b = qobject_cast<QAbstractButton*>(widget))
            b->setText(S(n));
        widget->setAccessibleName(S(n));
    }
    playerScreen_->update();
    UpdateTitle();
}

void MainWindow::UpdateTitle()
{
    const std::string name = model_.name.empty() ? Str(96) : model_.name;
    setWindowTitle(S(0) + " - " + QString::fromStdString(name));
}

void MainWindow::SetLanguage(int language)
{
    // An unnamed project is called by the new language's word for it.
    const bool untitled = commands_->Untitled();
    Strings().Load(language == 1 ? Language::kChinese : Language::kEnglish);
    SetLanguageSetting(language);
    if (untitled)
        model_.name = Str(96);
    Retranslate();
}

void MainWindow::ProjectReplaced()
{
    Retranslate();
    if (QWidget* timeline = whole_->widget(1))
        timeline->update();
}

bool MainWindow::AskProject(const std::string& title, NewProjectChoice* choice)
{
    ProjectDialog dialog(database_, prompt_, QString::fromStdString(title), this);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    *choice = dialog.Choice();
    return true;
}

bool MainWindow::AskProjectToOpen(std::string* name)
{
    ProjectListDialog dialog(database_, prompt_, this);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    *name = dialog.Chosen();
    return true;
}

bool MainWindow::OpenProjectNamed(const std::string& name)
{
    model_.name = name;
    const bool loaded = store_.LoadProject() == 1;
    if (!loaded)
        model_.name = Str(96);
    model_.bModified = false;
    ProjectReplaced();
    return loaded;
}

void MainWindow::OpenHelp()
{
    // Beside the program in the build, or in the shared data of an installed studio.
    const QString program = QCoreApplication::applicationDirPath();
    const QString name = "Help/Zolvex Video Studio.html";
    for (const QString& folder : {program, program + "/../share/zolvex-video-studio"}) {
        const QString path = QDir::cleanPath(folder + "/" + name);
        if (QFileInfo::exists(path)) {
            QDesktopServices::openUrl(QUrl::fromLocalFile(path));
            return;
        }
    }
}

void MainWindow::ShowAbout()
{
    prompt_.Show(Str(0) + "\n\n" + Text("Home videos, from clips and pictures to a movie.", "家庭视频：从片段与图片到电影。")
                                       .toStdString(),
                 Str(35), kPromptInformation, kPromptOk);
}

void MainWindow::ShowForAnotherStart(const QString& token)
{
    // The window manager gives the focus to a window activated under the later
    // start's own id or token.
    if (!token.isEmpty()) {
        qputenv("XDG_ACTIVATION_TOKEN", token.toUtf8());
        qputenv("DESKTOP_STARTUP_ID", token.toUtf8());
    }
    if (isMinimized())
        showNormal();
    show();
    raise();
    activateWindow();
    if (QWindow* w = windowHandle())
        w->requestActivate();
    std::fprintf(stderr, "zolvex-studio: another start asked for this window\n");
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    SetWindowGeometrySetting(saveGeometry().toHex().toStdString());
    QMainWindow::closeEvent(event);
}

bool MainWindow::event(QEvent* event)
{
    const bool handled = QMainWindow::event(event);
    // The window's first frame is on the screen once the first update request after
    // showing has been served.
    if (!painted_ && event->type() == QEvent::UpdateRequest && isVisible()) {
        painted_ = true;
        emit firstPainted();
    }
    return handled;
}

}  // namespace studio
}  // namespace zolvex
