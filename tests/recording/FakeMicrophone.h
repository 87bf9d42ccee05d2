// A live tone (or silence) with the caps a device would offer, standing in for the
// microphone, and a source that fails as an unreachable device does.
#pragma once

#include <gst/gst.h>

#include <string>

#include "studio/recording/VoiceRecorder.h"

namespace zolvex {
namespace testsupport {

inline GstElement* SourceOf(const std::string& description)
{
    gst_init(nullptr, nullptr);
    GError* e = nullptr;
    GstElement* bin = gst_parse_bin_from_description(description.c_str(), TRUE, &e);
    if (e)
        g_error_free(e);
    return bin;
}

inline studio::VoiceRecorder::SourceMaker FakeMicrophone(const char* wave, const char* caps)
{
    return [wave, caps] {
        return SourceOf(std::string("audiotestsrc is-live=true wave=") + wave + " freq=1000 volume=0.5 ! capsfilter caps=\"" +
                        caps + "\"");
    };
}

inline studio::VoiceRecorder::SourceMaker MissingMicrophone()
{
    return [] { return SourceOf("pulsesrc server=/nonexistent/sound-server"); };
}

}  // namespace testsupport
}  // namespace zolvex
