// SPDX-License-Identifier: Apache-2.0
// Copyright Contributors to the Quorvel Project

#include "scene_target.h"

#include "quorvel/conversion_run.h"
#include "quorvel/error.h"

#include <string_view>

namespace quorvel {

namespace {

// The scene file's first line, which tells a scene file from any other.
constexpr std::string_view SceneFirstLine = "SynthEyesScene {";

[[noreturn]] void RefuseLink(const std::string& Path, const std::string& Link, platform::ErrorCode Error)
{
    if (Link.empty() || Link == Path)
        ThrowFileError("cannot follow the link", Path, Error);
    ThrowFileError("cannot follow the link '" + Link + "' on the way to", Path, Error);
}

}  // namespace

platform::ExistingFile LocateScene(const std::string& Path, platform::SceneFile& Scene, const LineReader* Input)
{
    if (Path.empty())
        throw Error(ErrorKind::FileSystem, "no scene file was chosen");
    platform::ExistingFile old;
    std::string link;
    if (const platform::ErrorCode error = Scene.Locate(Path, old, link)) {
        if (error == platform::ForeignLinkInSharedFolder)
            RefuseLink(Path, link, error);
        ThrowFileError("cannot create the scene file", Path, error);
    }
    switch (old.Kind) {
    case platform::PathKind::Missing:
        return old;
    case platform::PathKind::Folder:
        throw Error(ErrorKind::FileSystem, "'" + Path + "' is a folder, not a scene file");
    case platform::PathKind::Other:
        throw Error(ErrorKind::FileSystem, "'" + Path + "' is not a regular file; a scene file "
                                                        "replaces only a regular file");
    case platform::PathKind::Regular:
        break;
    }
    if (Input && Input->IsFile(old.Identity)) {
        throw Error(ErrorKind::FileSystem,
                    "the scene file '" + Path + "' is the export file itself; choose another name");
    }
    if (const platform::ErrorCode error = Scene.CheckMayWrite())
        ThrowFileError("cannot replace the scene file", Path, error);
    std::string head;
    if (const platform::ErrorCode error = Scene.ReadHead(head)) {
        throw Error(ErrorKind::FileSystem, "cannot read the scene file '" + Path + "' to see that it is one: " +
                                               platform::ReasonText(error));
    }
    if (!IsSceneHead(head))
        throw Error(ErrorKind::FileSystem, NotASceneFile(Path));
    return old;
}

bool IsSceneHead(std::string_view Head)
{
    return Head.empty() || (Head.starts_with(SceneFirstLine) &&
                            (Head.size() == SceneFirstLine.size() || Head[SceneFirstLine.size()] == '\r' ||
                             Head[SceneFirstLine.size()] == '\n'));
}

std::string NotASceneFile(const std::string& Path)
{
    return "'" + Path + "' is not a scene file: only a scene file (its first line \"" +
           std::string(SceneFirstLine) + "\") or an empty file is replaced";
}

bool IsOtherThanScene(const std::string& Path)
{
    platform::SceneFile scene;
    platform::ExistingFile old;
    std::string link;
    std::string head;
    return scene.Locate(Path, old, link) == 0 && old.Kind == platform::PathKind::Regular &&
           scene.ReadHead(head) == 0 && !IsSceneHead(head);
}

}  // namespace quorvel
