#include "studio/shell/AlbumPlayer.h"

#include "filter/timeline/gst/TavmEntryPoints.h"
#include "filter/timeline/stream/TavmSource.h"
#include "platform/ClassRegistry.h"

namespace zolvex {
namespace studio {

bool AlbumPlayer::Create(std::string* error)
{
    Destroy();
    if (DllRegisterServer() != S_OK) {
        if (error)
            *error = "The rendering filter could not be registered.";
        return false;
    }
    if (CreateInstance(CLSID_TavmSource, IID_IUnknown, reinterpret_cast<void**>(&filter_)) != S_OK || !filter_) {
        filter_ = nullptr;
        if (error)
            *error = "The rendering filter could not be created.";
        return false;
    }
    return true;
}

int AlbumPlayer::Build(std::string* error)
{
    if (!filter_ || graph_)
        return graph_ ? 1 : 0;
    bool silent = false;
    _GstElement* pictures = MakePictureSink(Listener(), error);
    _GstElement* sound = pictures ? MakeSoundSink(&silent, error) : nullptr;
    graph_ = CTavmGraph::Build(filter_, pictures, sound, error);
    if (!graph_)
        return 0;
    SetSilent(silent);
    Attach(graph_->Pipeline());
    if (!graph_->Pause()) {
        if (error)
            *error = "The preview graph did not get ready.";
        Detach();
        graph_.reset();
        return 0;
    }
    SetState(kPaused);
    return 1;
}

int AlbumPlayer::Rebuild(std::string* error)
{
    Detach();
    graph_.reset();
    return Build(error);
}

void AlbumPlayer::Destroy()
{
    Detach();
    graph_.reset();
    if (filter_) {
        filter_->Release();
        filter_ = nullptr;
    }
}

}  // namespace studio
}  // namespace zolvex
