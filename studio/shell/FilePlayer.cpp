#include "studio/shell/FilePlayer.h"

#include <gst/gst.h>

#include <cstdio>

#include "platform/wintypes.h"

namespace zolvex {
namespace studio {

namespace {

// GStreamer's playback element stands in for the graph that rendered a file; each
// step keeps the text of the call it replaces, so a report reads the same.
const char* StepText(FileStep step)
{
    switch (step) {
    case FileStep::kCreateGraph:
        return "FAILED(hr=0x%x) in CoCreateInstance(CLSID_FilterGraph, NULL, CLSCTX_INPROC_SERVER, "
               "IID_IGraphBuilder, (void **)&m_pGraphBuilder)\n";
    case FileStep::kRenderFile: return "FAILED(hr=0x%x) in m_pGraphBuilder->RenderFile(wFile, NULL)\n";
    case FileStep::kQueryControl:
        return "FAILED(hr=0x%x) in m_pGraphBuilder->QueryInterface(IID_IMediaControl, (void **)&m_pMediaControl)\n";
    case FileStep::kQueryEvent:
        return "FAILED(hr=0x%x) in m_pGraphBuilder->QueryInterface(IID_IMediaEventEx, (void **)&m_pMediaEvent)\n";
    case FileStep::kQuerySeeking:
        return "FAILED(hr=0x%x) in m_pGraphBuilder->QueryInterface(IID_IMediaSeeking, (void **)&m_pMediaSeek)\n";
    case FileStep::kQueryPosition:
        return "FAILED(hr=0x%x) in m_pGraphBuilder->QueryInterface(IID_IMediaPosition, (void "
               "**)&m_pMediaPosition)\n";
    case FileStep::kQueryVideoWindow:
        return "FAILED(hr=0x%x) in m_pGraphBuilder->QueryInterface(IID_IVideoWindow, (void **)&m_pVideoWnd)\n";
    case FileStep::kQueryBasicVideo:
        return "FAILED(hr=0x%x) in m_pGraphBuilder->QueryInterface(IID_IBasicVideo, (void **)&m_pBaseVideo)\n";
    case FileStep::kQueryBasicAudio:
        return "FAILED(hr=0x%x) in m_pGraphBuilder->QueryInterface(IID_IBasicAudio, (void **)&m_pBaseAudio)\n";
    case FileStep::kNotifyWindow:
        return "FAILED(hr=0x%x) in m_pMediaEvent->SetNotifyWindow((OAHWND)this->m_hWnd, WM_GRAPHNOTIFY, 0)\n";
    case FileStep::kOwner: return "FAILED(hr=0x%x) in m_pVideoWnd->put_Owner((OAHWND)this->m_hWnd)\n";
    case FileStep::kWindowStyle:
        return "FAILED(hr=0x%x) in m_pVideoWnd->put_WindowStyle(WS_CHILD | WS_CLIPSIBLINGS | WS_CLIPCHILDREN)\n";
    case FileStep::kInitVideoWindow: return "FAILED(hr=0x%x) in InitVideoWindow(1, 1)\n";
    case FileStep::kInitPlayerWindow: return "FAILED(hr=0x%x) in InitPlayerWindow()\n";
    case FileStep::kRun: return "FAILED(hr=0x%x) in m_pMediaControl->Run()\n";
    case FileStep::kWindowPosition:
        return "FAILED(hr=0x%x) in m_pVideoWnd->SetWindowPosition(rect.left, rect.top, rect.right, rect.bottom)\n";
    case FileStep::kVisible: return "Failed(%08lx) in pVW->get_Visible()!\r\n";
    }
    return "FAILED(hr=0x%x)\n";
}

// What a file that no element can read or play answers, as the old graph did.
constexpr uint32_t kCannotRender = 0x80040265u;  // no combination of filters renders the file
constexpr uint32_t kCannotRun = uint32_t(E_FAIL);

}  // namespace

std::string FileStepFailure(FileStep step, uint32_t hr)
{
    char text[512];
    if (step == FileStep::kVisible)
        std::snprintf(text, sizeof text, StepText(step), static_cast<unsigned long>(hr));
    else
        std::snprintf(text, sizeof text, StepText(step), static_cast<unsigned>(hr));
    return text;
}

bool FilePlayer::Fail(FileStep step, uint32_t hr, IPrompt* prompt, FileStep* failed)
{
    Close();
    if (failed)
        *failed = step;
    if (prompt)
        prompt->Show(FileStepFailure(step, hr), "Player Window", kPromptNoIcon, kPromptOk);
    return false;
}

bool FilePlayer::Open(const std::string& path, IPrompt* prompt, FileStep* failed)
{
    Close();
    playbin_ = gst_element_factory_make("playbin", "file-player");
    if (!playbin_)
        return Fail(FileStep::kCreateGraph, uint32_t(E_FAIL), prompt, failed);
    gst_object_ref_sink(playbin_);
    path_ = path;
    std::string error;
    bool silent = false;
    GstElement* pictures = MakePictureSink(Listener(), &error);
    GstElement* sound = MakeSoundSink(&silent, &error);
    if (!pictures || !sound) {
        for (GstElement* e : {pictures, sound})
            if (e)
                gst_object_unref(gst_object_ref_sink(e));
        return Fail(FileStep::kInitPlayerWindow, uint32_t(E_FAIL), prompt, failed);
    }
    SetSilent(silent);
    gchar* uri = gst_filename_to_uri(path.c_str(), nullptr);
    if (!uri)
        return Fail(FileStep::kRenderFile, kCannotRender, prompt, failed);
    g_object_set(playbin_, "uri", uri, "video-sink", pictures, "audio-sink", sound, nullptr);
    g_free(uri);
    Attach(playbin_);
    // Rendering the file is the preroll: every stream found, decoded and waiting.
    GstState state = GST_STATE_NULL;
    if (gst_element_set_state(playbin_, GST_STATE_PAUSED) == GST_STATE_CHANGE_FAILURE ||
        gst_element_get_state(playbin_, &state, nullptr, 10 * GST_SECOND) != GST_STATE_CHANGE_SUCCESS ||
        state != GST_STATE_PAUSED)
        return Fail(FileStep::kRenderFile, kCannotRender, prompt, failed);
    gint videos = 0, audios = 0;
    g_object_get(playbin_, "n-video", &videos, "n-audio", &audios, nullptr);
    if (videos == 0 && audios == 0)
        return Fail(FileStep::kRenderFile, kCannotRender, prompt, failed);
    audioOnly_ = videos == 0;
    SetState(kPaused);
    Run();
    if (State() != kRunning)
        return Fail(FileStep::kRun, kCannotRun, prompt, failed);
    return true;
}

void FilePlayer::Close()
{
    Detach();
    if (playbin_) {
        gst_object_unref(playbin_);
        playbin_ = nullptr;
    }
    path_.clear();
    audioOnly_ = false;
}

}  // namespace studio
}  // namespace zolvex
