#pragma once

#include <string>
#include <string_view>

namespace tagsmith {

// The user's folders, taken from the environment at each call so that a
// changed HOME or XDG_* variable takes effect at once. An XDG variable counts
// only when it holds an absolute path (relative ones are ignored, as the XDG
// base-directory rules ask); the defaults lie below HomeDir(). Each returns an
// empty string when no home folder can be determined at all.

// $HOME, or the home folder of the user's account when HOME is unset or empty.
std::string HomeDir();

// Roaming application data: $XDG_DATA_HOME, default ~/.local/share.
std::string RoamingAppDataDir();

// Local (non-roaming) application data: $XDG_CACHE_HOME, default ~/.cache.
std::string LocalAppDataDir();

// Configuration: $XDG_CONFIG_HOME, default ~/.config.
std::string ConfigDir();

// `path` without one trailing separator "/", or unchanged when it has none.
// The folder strings, the translator and the update check all use this rule.
std::string StripTrailingBackslash(std::string_view path);

// Creates `path` and every missing parent folder with mode 0700 (private to
// the user). Returns 0, or the errno of the first mkdir that failed; an
// existing directory is not a failure.
int CreatePrivateFolders(const std::string& path);

}  // namespace tagsmith
