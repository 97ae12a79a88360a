// How the program names its sound stream to the sound server, so desktop mixers show it as the
// window and the desktop entry (data/org.brimvale.wavplayer.desktop) do.
#pragma once

namespace audio {

inline constexpr const char* kAppName = "Brimvale WAV-Player/Looper";  // the window's title
inline constexpr const char* kAppId = "org.brimvale.wavplayer";        // the desktop file's id
inline constexpr const char* kIconName = "wavplayer";  // the desktop file's Icon, as installed
inline constexpr const char* kNodeName = "wavplayer";
inline constexpr const char* kStreamName = "Playback";

}  // namespace audio
