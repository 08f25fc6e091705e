// SPDX-License-Identifier: Apache-2.0
// Copyright Contributors to the Quorvel Project
//
// The scenes of a batch made durable together, one flush of each file
// system they are on.
#include "platform.h"

#include <algorithm>
#include <cstdio>
#include <utility>
#include <vector>
#include <sys/stat.h>
#include <sys/utsname.h>
#include <unistd.h>

namespace quorvel::platform {

namespace {

// Whether syncfs reports a write-back that failed since the descriptor it
// is given was opened: Linux does from 5.8 on.
bool SyncfsReportsFailures()
{
#if defined(__linux__) && !defined(__EMSCRIPTEN__)
    static const bool reports = [] {
        utsname system {};
        int major = 0;
        int minor = 0;
        return ::uname(&system) == 0 && std::sscanf(system.release, "%d.%d", &major, &minor) == 2 &&
               (major > 5 || (major == 5 && minor >= 8));
    }();
    return reports;
#else
    return false;
#endif
}

}  // namespace

bool MakeDurableTogether(const std::vector<SceneFile*>& Scenes)
{
    // One scene is flushed as well by its own fsync, which waits for no
    // other program's data.
    if (Scenes.size() < 2 || !SyncfsReportsFailures())
        return false;
#if defined(__linux__) && !defined(__EMSCRIPTEN__)
    // Each file system is flushed through the scene on it that was created
    // first: the others were created after that descriptor was opened, so
    // every failed write-back of theirs is reported to it.
    std::vector<std::pair<dev_t, SceneFile*>> first;
    for (SceneFile* scene : Scenes) {
        struct stat info {};
        if (!scene->completed_ || !scene->stream_ || ::fstat(::fileno(scene->stream_), &info) != 0)
            return false;
        const auto same = std::find_if(first.begin(), first.end(), [&](const auto& F) { return F.first == info.st_dev; });
        if (same == first.end())
            first.emplace_back(info.st_dev, scene);
        else if (scene->created_ < same->second->created_)
            same->second = scene;
    }
    for (const auto& [device, scene] : first) {
        if (::syncfs(::fileno(scene->stream_)) != 0)
            return false;
    }
    for (SceneFile* scene : Scenes)
        scene->durable_ = true;
    return true;
#else
    return false;
#endif
}

}  // namespace quorvel::platform
