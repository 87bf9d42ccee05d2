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
#include <QProcess>
#include <QMenu>
#include <QPainter>
#include <QPushButton>
#include <QShortcut>
#include <QSlider>
#include <QSplitter>
#include <QTabWidget>
#include <QTimer>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>
#include <QWindow>

#include <cstdio>
#include <filesystem>
#include <new>

#include "studio/shell/ui/UiText.h"
#include "studio/maker/ui/AnimationEffectPage.h"
#include "studio/maker/ui/EffectMakerWindow.h"
#include "studio/project/ui/MediaLibraryPanel.h"
#include "studio/project/ui/ProjectDialog.h"
#include "studio/project/ui/ScreenPage.h"
#include "studio/project/ui/ProjectListDialog.h"
#include "studio/recording/RecordingSession.h"
#include "studio/recording/ui/RecorderDialog.h"
#include "studio/shell/StudioSettings.h"
#include "studio/shell/ui/AudioLevelDialog.h"
#include "studio/shell/ui/AutosaveController.h"
#include "studio/shell/ui/PictureTimeDialog.h"
#include "studio/shell/ui/MovieProgressDialog.h"
#include "studio/shell/ui/PlayerPanel.h"
#include "studio/shell/ui/SaveMoviePage.h"
#include "studio/shell/SaveMovie.h"
#include "studio/shell/ui/StaticEffectPage.h"
#include "studio/shell/ui/StickerPage.h"
#include "studio/shell/ui/TransitionPage.h"
#include "studio/shell/ui/TextPage.h"
#include "studio/shell/ui/SingleInstance.h"
#include "studio/shell/ui/TimelinePanel.h"
#include "studio/shell/ui/TimelineView.h"

namespace zolvex {
namespace studio {

namespace {

// A message of the timeline, delivered on the window's thread.
class StudioEvent : public QEvent {
public:
    static QEvent::Type Kind()
    {
        static const int kind = QEvent::registerEventType();
        return QEvent::Type(kind);
    }
    StudioEvent(int message, int64_t first, int64_t second)
        : QEvent(Kind()), message(message), first(first), second(second)
    {
    }
    const int message;
    const int64_t first, second;
};

}  // namespace

MainWindow::MainWindow(IPrompt* prompt, QWidget* parent)
    : QMainWindow(parent),
      ownPrompt_(this),
      prompt_(prompt ? *prompt : ownPrompt_),
      database_(DataFolder()),
      library_(DataFolder()),
      animations_(DataFolder()),
      store_(model_),
      editor_(model_, prompt_, static_cast<ITimelineListener&>(*this))
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
    // The installed animation effects, drawn by the preview and the movie alike.
    animations_.Load();
    preview_.SetLibraries(&animations_, &screens_);
    screenPage_ = new ScreenPage(screens_, DataFolder());
    connect(libraryPanel_, &MediaLibraryPanel::previewRequested, this,
            [this](size_t entry) { PlayLibraryEntry(entry); });
    connect(libraryPanel_, &MediaLibraryPanel::addToTimeline, this,
            [this](std::vector<size_t> entries) { editor_.AddToTimeline(library_, entries, PictureSeconds()); });
    connect(screenPage_, &ScreenPage::addScreenItem, this, [this](ScreenOp item) {
        item.pMaskPicture = item.pBackground = nullptr;
        editor_.AddObject(OBJ_SCREEN3D, new ScreenOp(item));
    });
    screenPage_->SetEditor(&editor_);
    textPage_ = new TextPage(editor_);
    stickerPage_ = new StickerPage(editor_, library_, prompt_);
    connect(stickerPage_, &StickerPage::holdPreview, this, [this] { HoldPreview(); });
    connect(stickerPage_, &StickerPage::libraryChanged, this, [this] { libraryPanel_->Model().Refresh(); });
    connect(libraryPanel_, &MediaLibraryPanel::importDone, stickerPage_, [this] { stickerPage_->Refresh(); });
    connect(libraryPanel_, &MediaLibraryPanel::importDone, this, [this] { RecordingImported(); });
    // Titles and animated pictures share the Text page: both are laid over the scenes.
    textTabs_ = new QTabWidget;
    textTabs_->setObjectName("TextTabs");
    textTabs_->addTab(textPage_, S(6));
    textTabs_->addTab(stickerPage_, QString());
    animationPage_ = new AnimationEffectPage(animations_, prompt_);
    connect(animationPage_, &AnimationEffectPage::libraryChanging, this, [this] { HoldPreview(); });
    connect(animationPage_, &AnimationEffectPage::libraryChanged, this, [this] {
        preview_.ApplyLibraries();
        RefreshFilter();
    });
    connect(animationPage_, &AnimationEffectPage::addEffect, this, [this](GUID guid) {
        // Zero-filled like every effect record the project frees; the GUID finds the effect.
        auto* op = new (std::nothrow) tagOPR_EFFECT();
        if (!op)
            return;
        op->guidEffect = guid;
        op->nOverallOpacity = 255;
        editor_.AddObject(OBJ_EFFECT, op);
    });
    connect(animationPage_, &AnimationEffectPage::makeRequested, this, [this] { MakeAnimationEffects(); });
    for (int n = 2; n <= 7; ++n) {
        if (n == 2) {
            pages_->addTab(animationPage_, S(n));
            continue;
        }
        if (n == 3) {
            pages_->addTab(screenPage_, S(n));
            continue;
        }
        if (n == 6) {
            pages_->addTab(textTabs_, S(n));
            continue;
        }
        if (n == 4) {
            transitionPage_ = new TransitionPage(editor_);
            pages_->addTab(transitionPage_, S(n));
            continue;
        }
        if (n == 5) {
            effectPage_ = new StaticEffectPage(editor_);
            pages_->addTab(effectPage_, S(n));
            continue;
        }
        saveMoviePage_ = new SaveMoviePage(prompt_);
        connect(saveMoviePage_, &SaveMoviePage::SaveMovieRequested, this,
                [this](const MovieOutputParams& params) { StartMovie(params); });
        pages_->addTab(saveMoviePage_, S(n));
    }
    // The movies' own folder is made the first time the page is shown.
    connect(pages_, &QTabWidget::currentChanged, this, [this](int) {
        if (pages_->currentWidget() != saveMoviePage_ || !saveMoviePage_->Folder().isEmpty())
            return;
        std::string folder, error;
        if (DefaultMovieFolder(folder, &error))
            saveMoviePage_->SetFolder(QString::fromStdString(folder));
        else
            std::fprintf(stderr, "zolvex-studio: %s\n", error.c_str());
    });
    saver_ = new MovieSaver(static_cast<IMovieHost&>(*this), prompt_, this, this);
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
    whole_->setSizes({510, 250});
    column->addWidget(whole_, 1);
    setCentralWidget(central);

    resize(1280, 800);
    setMinimumSize(960, 600);
    const QByteArray geometry = QByteArray::fromHex(QByteArray::fromStdString(WindowGeometrySetting()));
    if (!geometry.isEmpty())
        restoreGeometry(geometry);
    // Ctrl+Z and Ctrl+Y wherever the focus is; Delete belongs to whichever list has
    // the focus (the library removes its entries, the timeline its selection).
    const std::pair<QKeySequence, int> keys[] = {{QKeySequence(Qt::CTRL | Qt::Key_Z), 10144},
                                                 {QKeySequence(Qt::CTRL | Qt::Key_Y), 10145},
                                                 {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), 10145}};
    for (const auto& [key, id] : keys) {
        auto* shortcut = new QShortcut(key, this);
        connect(shortcut, &QShortcut::activated, this, [this, id = id] { RunCommand(id); });
    }
    auto* del = new QShortcut(QKeySequence::Delete, timeline_, nullptr, nullptr, Qt::WidgetWithChildrenShortcut);
    connect(del, &QShortcut::activated, this, [this] { RunCommand(10142); });

    Retranslate();
    editor_.UpdateButtons();
    autosave_ = new AutosaveController(model_, prompt_, static_cast<IProjectView&>(*this), this);
    autosave_->Start();
    // The filter is made once the window is on the screen, so that the start stays quick.
    connect(this, &MainWindow::firstPainted, this, [this] { OpenPreview(); }, Qt::QueuedConnection);
}

MainWindow::~MainWindow()
{
    // The lists go with the model: the filter lets go of them first.
    preview_.Hold(2000);
    preview_.Close();
}

int MainWindow::PictureSeconds() const { return PictureTimeSetting(); }

void MainWindow::OpenPreview()
{
    std::string error;
    if (!preview_.Open(true, &error)) {
        std::fprintf(stderr, "zolvex-studio: %s\n", error.c_str());
        return;
    }
    preview_.SetFrame(model_.header);
    ApplyPreviewRate();
    RefreshFilter();
}

void MainWindow::ApplyPreviewRate()
{
    const bool smooth = SmoothPreviewSetting();
    if (smoothAction_)
        smoothAction_->setChecked(smooth);
    preview_.SetFrameRate(smooth ? ProjectFrameRate(model_.header.nHeight) : 15.0);
}

void MainWindow::PlayLibraryEntry(size_t entry)
{
    if (entry >= library_.Entries().size())
        return;
    player_->PlayFile(library_.Entry(entry).item.szPath);
}

void MainWindow::StartMovie(const MovieOutputParams& params)
{
    if (saver_->Running())
        return;
    saver_->Start(params, model_.header, model_.Lists(), &animations_, &screens_, PictureSeconds());
}

void MainWindow::StopPreviewForMovie()
{
    // The run renders the lists with a filter of its own: the preview lets go of them.
    HoldPreview();
    movieVolume_ = player_->VolumeSlider()->value();
    player_->SetHeld(true);
    preview_.Close();
}

void MainWindow::MoviePosition(int64_t position, int64_t hundredths, int64_t seconds)
{
    player_->ShowPosition(position);
    HandleMessage(kMsgPlayPosition, hundredths, seconds);
}

void MainWindow::MovieRunEnded(bool written, const std::string& path)
{
    if (written)
        saveMoviePage_->ShowSaved(QString::fromStdString(path));
    player_->SetHeld(false);
    // The preview starts again from the beginning, and the playhead with it.
    editor_.playhead = 0.0;
    player_->ShowPosition(0);
    OpenPreview();
    if (movieVolume_ >= 0)
        player_->SetVolumeIndex(movieVolume_);
    movieVolume_ = -1;
    HandleMessage(kMsgProjectRefresh, 0, 0);
}

void MainWindow::HoldPreview()
{
    if (!preview_.Hold())
        std::fprintf(stderr, "zolvex-studio: the preview did not come to rest\n");
}

void MainWindow::RefreshFilter()
{
    if (!preview_.IsOpen())
        return;
    preview_.Refresh(model_, PictureSeconds());
    preview_.SetMusicVolume(audioLevel_);
    player_->DurationChanged();
}

void MainWindow::TimelineMessage(int message, int64_t first, int64_t second)
{
    if (message == kMsgAboutToEdit) {
        HoldPreview();  // the lists change as soon as this returns
        return;
    }
    QCoreApplication::postEvent(this, new StudioEvent(message, first, second));
}

void MainWindow::HandleMessage(int message, int64_t first, int64_t second)
{
    switch (message) {
    case kMsgTimelineChanged:
        RefreshFilter();
        if (timeline_)
            timeline_->Refresh();
        UpdateTitle();
        break;
    case kMsgButtonState:
        timeline_->SetButtonEnabled(int(first), second != 0);
        // The last of the six states: the selection has settled.
        if (first == kButtonMoveRight)
            SelectionChanged();
        break;
    case kMsgAudioLevel:
        audioLevel_ = int(second);
        preview_.SetMusicVolume(audioLevel_);
        break;
    case kMsgPlayheadReleased:
        player_->PlayheadReleased(editor_.playhead);
        break;
    case kMsgPlayPosition:
        // The playhead follows the preview unless the user holds it.
        if (!editor_.playheadDrag) {
            editor_.playhead = double(first) * 0.01 + double(second);
            if (timeline_)
                timeline_->PlayheadMoved();
        }
        break;
    case kMsgProjectRefresh:
        if (timeline_)
            timeline_->Refresh();
        UpdateTitle();
        break;
    case kMsgBusy:
    case kMsgReady:
        if (timeline_)
            timeline_->Refresh();
        break;
    default: break;
    }
    (void)first;
}

bool MainWindow::RunCommand(int id)
{
    // Delete and Move Left/Right belong to the library's list while it has the focus.
    QWidget* focus = QApplication::focusWidget();
    if (focus && libraryPanel_->isAncestorOf(focus) && (id == 10142 || id == 10146 || id == 10147)) {
        if (id == 10142)
            libraryPanel_->RemoveSelected();
        else
            libraryPanel_->StepCurrent(id == 10146 ? -1 : 1);
        return true;
    }
    switch (id) {
    case 10135:
    case 10224: commands_->NewProject(); break;
    case 10138:
    case 10225: commands_->OpenProject(); break;
    case 10139: commands_->SaveProject(); break;
    case 10140: editor_.BeginMark(TimelineEditor::MarkMode::kIn); break;
    case 10141: editor_.BeginMark(TimelineEditor::MarkMode::kOut); break;
    case 10143: editor_.CutMarkedRegion(); break;
    case 10142: editor_.DeleteSelected(); break;
    case 10144: editor_.Undo(); break;
    case 10145: editor_.Redo(); break;
    case 10146: editor_.MoveLeft(); break;
    case 10147: editor_.MoveRight(); break;
    case 10148: editor_.MoveUp(); break;
    case 10149: editor_.MoveDown(); break;
    case 10309:
    case 10136: AdjustAudioLevel(); break;
    case 10137: RecordAudio(); break;
    default: return false;
    }
    if (timeline_)
        timeline_->Refresh();
    return true;
}

void MainWindow::SelectionChanged()
{
    textPage_->SelectionChanged();
    stickerPage_->SelectionChanged();
    transitionPage_->SelectionChanged();
    effectPage_->SelectionChanged();
    screenPage_->SelectionChanged();
    // A selected title or picture brings its page forward, so that it can be edited.
    const int kind = editor_.TargetKind();
    if (kind == OBJ_TEXT || kind == OBJ_PICTURE) {
        textTabs_->setCurrentIndex(kind == OBJ_TEXT ? 0 : 1);
        pages_->setCurrentWidget(textTabs_);
    } else if (kind == OBJ_SCREEN3D) {
        pages_->setCurrentWidget(screenPage_);
    } else if (kind == OBJ_EFFECT && effectPage_->EditedEffect()) {
        pages_->setCurrentWidget(effectPage_);
    }
}

void MainWindow::MakeAnimationEffects()
{
    EffectMakerWindow maker(DataFolder(), prompt_, this);
    maker.exec();
}

void MainWindow::SetRecordingDevice(DeviceProbe probe, VoiceRecorder::SourceMaker source)
{
    deviceProbe_ = std::move(probe);
    recordSource_ = std::move(source);
}

void MainWindow::RecordAudio()
{
    if (editor_.Busy())
        return;
    const DeviceProbe probe = deviceProbe_ ? deviceProbe_ : DeviceProbe(DefaultInputDevice);
    InputDevice device;
    if (!probe(&device)) {
        TellNoInputDevice(prompt_);
        return;
    }
    std::error_code ignored;
    const std::string temporary = std::filesystem::temp_directory_path(ignored).string();
    // The recordings live in the project's folder, beside its project file.
    const std::string data = DataFolder();
    const std::string project = model_.name.empty() ? Str(96) : model_.name;
    RecordingSession session(temporary.empty() ? "/tmp" : temporary, data.empty() ? "" : data + project + "/",
                             prompt_, recordSource_ ? recordSource_ : device.source);
    RecorderDialog dialog(OfferedFormats(device.ranges), session, prompt_, [probe] { return probe(nullptr); },
                          [](const std::vector<std::string>& command) {
                              QStringList arguments;
                              for (size_t i = 1; i < command.size(); ++i)
                                  arguments << QString::fromStdString(command[i]);
                              return QProcess::startDetached(QString::fromStdString(command[0]), arguments);
                          },
                          this);
    dialog.exec();
    const std::string kept = session.Finish();
    if (!kept.empty())
        PlaceRecording(kept);
}

void MainWindow::PlaceRecording(const std::string& path)
{
    recordingsToPlace_.push_back(path);
    libraryPanel_->ImportFiles({QString::fromStdString(path)});
}

void MainWindow::RecordingImported()
{
    // Each recording waiting for its import is found in the library by its file.
    for (auto it = recordingsToPlace_.begin(); it != recordingsToPlace_.end();) {
        size_t found = library_.Count();
        for (size_t i = library_.Count(); i-- > 0;)
            if (!library_.Entry(i).item.bRemoved && library_.Entry(i).item.szPath == *it) {
                found = i;
                break;
            }
        if (found == library_.Count()) {
            ++it;
            continue;
        }
        libraryPanel_->SelectEntry(found);
        editor_.AddRecording(library_, found);
        if (timeline_)
            timeline_->Refresh();
        it = recordingsToPlace_.erase(it);
    }
    // What did not come through an import that has ended is not waited for.
    if (!libraryPanel_->ImportPending())
        recordingsToPlace_.clear();
}

void MainWindow::AdjustAudioLevel()
{
    AudioLevelDialog dialog(audioLevel_, this);
    connect(&dialog, &AudioLevelDialog::levelChanged, this,
            [this](int level) { HandleMessage(kMsgAudioLevel, 0, level); });
    dialog.exec();
}

void MainWindow::AdjustPictureTime()
{
    PictureTimeDialog dialog(this);
    if (dialog.exec() == QDialog::Accepted)
        RefreshFilter();
}

void MainWindow::TimelineReset(bool loaded)
{
    if (loaded)
        editor_.ProjectLoaded();
    else
        editor_.NewProject();
    preview_.SetFrame(model_.header);
    ApplyPreviewRate();
    RefreshFilter();
}

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
    QAction* save = addAction(file, 38, [this] { commands_->SaveProject(); });
    // Ctrl+S wherever the focus is in the window, and shown in the menu.
    save->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));
    this->addAction(save);
    file->addSeparator();
    addAction(file, 40, [this] { AdjustAudioLevel(); });
    addAction(file, 143, [this] { AdjustPictureTime(); });
    addAction(file, 43, [this] { RecordAudio(); });
    // Beyond the 15 frames a second the preview normally shows: the project's own rate.
    smoothAction_ = file->addAction(QString());
    smoothAction_->setCheckable(true);
    smoothAction_->setChecked(SmoothPreviewSetting());
    connect(smoothAction_, &QAction::toggled, this, [this](bool on) {
        SetSmoothPreviewSetting(on);
        ApplyPreviewRate();
    });
    file->addSeparator();
    addAction(file, 39, [this] { close(); });

    // Importing and making animation effects.
    importAction_ = menus_[1]->addAction(S(21));
    connect(importAction_, &QAction::triggered, this, [this] {
        pages_->setCurrentWidget(animationPage_);
        animationPage_->Import();
    });
    makeAction_ = menus_[1]->addAction(QString());
    connect(makeAction_, &QAction::triggered, this, [this] { MakeAnimationEffects(); });

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
    player_ = new PlayerPanel(preview_, model_, prompt_);
    preview_.SetListener(player_->AlbumListener());
    connect(player_, &PlayerPanel::playPosition, this,
            [this](qint64 hundredths, qint64 seconds) { HandleMessage(kMsgPlayPosition, hundredths, seconds); });
    return player_;
}

QWidget* MainWindow::BuildTimeline()
{
    auto* timeline = new TimelinePanel(editor_);
    // A mark mode begun by a button takes the mouse, so the panel looks again after
    // each command.
    connect(timeline, &TimelinePanel::commandRequested, this, [this, timeline](int id) {
        // The recorder is a dialog of its own: it opens once the click is over, so
        // that whatever pressed the button (an accessibility client too) hears back.
        if (id == kCommandRecordAudio) {
            QTimer::singleShot(0, this, [this] { RecordAudio(); });
            return;
        }
        RunCommand(id);
        timeline->Refresh();
    });
    connect(timeline->View(), &TimelineView::playheadReleased, this,
            [this] { HandleMessage(kMsgPlayheadReleased, 0, 0); });
    timeline_ = timeline;
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
    animationPage_->Retranslate();
    screenPage_->Retranslate();
    timeline_->Retranslate();
    textPage_->Retranslate();
    stickerPage_->Retranslate();
    transitionPage_->Retranslate();
    effectPage_->Retranslate();
    saveMoviePage_->Retranslate();
    textTabs_->setTabText(0, S(6));
    textTabs_->setTabText(1, Text("Animated Pictures", "动画图片"));
    for (auto& [widget, n] : labelled_) {
        if (auto* b = qobject_cast<QAbstractButton*>(widget))
            b->setText(S(n));
        widget->setAccessibleName(S(n));
    }
    smoothAction_->setText(Text("Smooth preview", "流畅预览"));
    player_->Retranslate();
    UpdateTitle();
}

void MainWindow::UpdateTitle()
{
    const std::string name = model_.name.empty() ? Str(96) : model_.name;
    // The star says there is work not saved yet.
    setWindowTitle(S(0) + " - " + QString::fromStdString(name) + (model_.bModified ? " *" : ""));
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
    if (timeline_)
        timeline_->Refresh();
    if (autosave_)
        autosave_->ProjectReplaced();
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
    TimelineReset(true);
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
    if (event->isAccepted())
        autosave_->Closed();
}

bool MainWindow::event(QEvent* event)
{
    if (event->type() == StudioEvent::Kind()) {
        const auto* e = static_cast<StudioEvent*>(event);
        HandleMessage(e->message, e->first, e->second);
        return true;
    }
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
