#include "studio/shell/ui/AutosaveController.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QString>
#include <QWidget>

#include <algorithm>
#include <cstdio>
#include <memory>

#include "studio/shell/ui/UiText.h"
#include "studio/project/ProjectFile.h"

namespace zolvex {
namespace studio {

namespace {

QString Q(const std::string& text) { return QString::fromStdString(text); }

QString When(int64_t seconds)
{
    return QDateTime::fromSecsSinceEpoch(seconds).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

// The files of a list, one a line, at most a screenful.
QString FileLines(const std::vector<MediaProblem>& problems)
{
    QString lines;
    const size_t shown = std::min<size_t>(problems.size(), 10);
    for (size_t i = 0; i < shown; ++i)
        lines += "\n" + Q(problems[i].path);
    if (problems.size() > shown)
        lines += QString("\n… (%1)").arg(problems.size() - shown);
    return lines;
}

}  // namespace

AutosaveController::AutosaveController(ProjectModel& model, IPrompt& prompt, IProjectView& view, QObject* parent)
    : QObject(parent), model_(model), prompt_(prompt), view_(view)
{
    auto since = std::make_shared<QElapsedTimer>();
    since->start();
    clock_ = [since] { return int64_t(since->elapsed()); };
    poll_.setInterval(kPollMs);
    connect(&poll_, &QTimer::timeout, this, &AutosaveController::Poll);
    seen_ = model_.nChanges;
}

AutosaveController::~AutosaveController() = default;

bool AutosaveController::Untitled() const { return model_.name.empty() || model_.name == Str(96); }

void AutosaveController::Start()
{
    seen_ = model_.nChanges;
    poll_.start();
    startPending_ = true;
    QTimer::singleShot(0, this, [this] {
        startPending_ = false;
        name_ = model_.name;
        unnamed_ = Untitled();
        known_ = true;
        OfferRecovery(true);
    });
}

void AutosaveController::ProjectReplaced()
{
    if (restoring_)
        return;
    // Saved, or replaced by a project whose changes the user chose not to keep:
    // either way the copy holds nothing that is wanted.
    if (!model_.bModified) {
        files_.Remove();
        dirty_ = false;
    }
    seen_ = model_.nChanges;
    const bool unnamed = Untitled();
    const bool another = known_ && (unnamed != unnamed_ || (!unnamed && model_.name != name_));
    name_ = model_.name;
    unnamed_ = unnamed;
    known_ = true;
    // The start's own offer covers the command line's project.
    if (another && !startPending_ && !unnamed)
        OfferRecovery(false);
}

void AutosaveController::Closed()
{
    poll_.stop();
    files_.Remove();
    dirty_ = false;
}

void AutosaveController::Poll()
{
    if (model_.bBusy || restoring_)
        return;
    const int64_t now = clock_();
    const bool changed = model_.nChanges != seen_;
    // A modified project without a copy needs one even when no change was counted.
    if (changed || (model_.bModified && !files_.Holding() && !dirty_)) {
        seen_ = model_.nChanges;
        lastChange_ = now;
        if (!dirty_) {
            dirty_ = true;
            dirtySince_ = now;
        }
    }
    if (!dirty_)
        return;
    if (!model_.bModified) {
        // Changes that leave nothing unsaved (an undo back to the saved state, a save).
        dirty_ = false;
        return;
    }
    if (now - lastChange_ >= kQuietMs || now - dirtySince_ >= kLongestMs)
        WriteNow();
}

void AutosaveController::WriteNow()
{
    dirty_ = false;
    const bool unnamed = Untitled();
    if (!files_.Save(ProjectStore::Serialise(model_, 1.0f, 1.0f), unnamed ? Str(96) : model_.name, unnamed))
        std::fprintf(stderr, "zolvex-studio: no autosave: %s\n", files_.LastError().c_str());
}

bool AutosaveController::OfferRecovery(bool everyProject)
{
    // (A load's busy period does not stop it: the load is over, only edits wait.)
    std::vector<AutosaveEntry> offers;
    if (everyProject) {
        offers = files_.ListRecoverable();
        // The project open now comes first.
        std::stable_partition(offers.begin(), offers.end(), [this](const AutosaveEntry& e) {
            return !Untitled() && !e.unnamed && e.project == model_.name;
        });
    } else {
        AutosaveEntry entry;
        if (!Untitled() && files_.FindRecoverable(model_.name, &entry))
            offers.push_back(entry);
    }
    for (const AutosaveEntry& entry : offers) {
        const QString name = Q(entry.project);
        const QString question =
            entry.unnamed
                ? Text("An unnamed project (\"%1\") was not saved when the studio last ended. Its autosaved copy "
                       "from %2 can be restored.\n\nRestore it?",
                       "上次退出工作室时，未命名的项目（“%1”）没有保存。可以恢复它在 %2 自动保存的副本。\n\n是否恢复？")
                : Text("The project \"%1\" has changes that were not saved when the studio last ended. Its "
                       "autosaved copy from %2 can be restored.\n\nRestore it?",
                       "上次退出工作室时，项目“%1”有未保存的更改。可以恢复它在 %2 自动保存的副本。\n\n是否恢复？");
        const int answer = prompt_.Show(question.arg(name, When(entry.savedAt)).toStdString(), Str(0),
                                        kPromptQuestion, kPromptYesNo);
        // The keyboard goes back to the window the question came up over (without a
        // window manager nobody else hands it back).
        if (auto* window = qobject_cast<QWidget*>(parent()))
            window->activateWindow();
        if (answer != kAnswerYes) {
            Autosave::Discard(entry);
            continue;
        }
        if (RestoreFrom(entry))
            return true;
    }
    return false;
}

bool AutosaveController::RestoreFrom(const AutosaveEntry& entry)
{
    view_.HoldPreview();
    restoring_ = true;
    // The project open now is not modified (it was just opened or the studio just
    // started), so its own copy holds nothing to keep.
    files_.Remove();
    const AutosaveRestore result = Autosave::Restore(entry, model_);
    if (!result.restored) {
        restoring_ = false;
        const std::string kept = Autosave::SetAside(entry);
        const QString text = Text("The autosaved copy of \"%1\" cannot be restored: %2.\n\nIt is kept as %3.",
                                  "无法恢复“%1”的自动保存副本：%2。\n\n该副本保留为 %3。")
                                 .arg(Q(entry.project), Q(result.why), Q(kept.empty() ? entry.dataPath : kept));
        prompt_.Show(text.toStdString(), Str(0), kPromptWarning, kPromptOk);
        return false;
    }
    // The restored project goes on with the copy it came from, so that another crash
    // before the next change still finds it.
    files_.Adopt(entry);
    dirty_ = false;
    seen_ = model_.nChanges;
    name_ = model_.name;
    unnamed_ = Untitled();
    view_.TimelineReset(true);
    view_.ProjectReplaced();
    seen_ = model_.nChanges;
    restoring_ = false;
    std::fprintf(stderr, "zolvex-studio: \"%s\" restored from its autosave\n", model_.name.c_str());

    if (!result.droppedPictures.empty() || !result.missingScenes.empty()) {
        QString text = Text("The project \"%1\" was restored.", "项目“%1”已恢复。").arg(Q(model_.name));
        if (!result.missingScenes.empty())
            text += "\n\n" +
                    Text("These scenes' files are missing; the scenes stay and show black until the files are back:",
                         "以下场景的文件不见了；场景仍保留，在文件找回之前显示为黑色：") +
                    FileLines(result.missingScenes);
        if (!result.droppedPictures.empty())
            text += "\n\n" + Text("These animated pictures were left out because their files cannot be used:",
                                  "以下动画图片的文件无法使用，已被略去：") +
                    FileLines(result.droppedPictures);
        prompt_.Show(text.toStdString(), Str(0), kPromptInformation, kPromptOk);
    }
    return true;
}

}  // namespace studio
}  // namespace zolvex
