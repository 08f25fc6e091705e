#include "quorvel/conversion_run.h"

#include "quorvel/error.h"
#include "quorvel/export_reader.h"
#include "quorvel/line_reader.h"
#include "quorvel/scene_writer.h"
#include "quorvel/text_rules.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace quorvel {

namespace {

// Permissions for the new scene file: the old file's, or what a plain
// create would have given.
mode_t SceneFileMode(const std::string& Path)
{
    struct stat info {};
    if (::stat(Path.c_str(), &info) == 0)
        return info.st_mode & 07777;
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

// A scene file being written beside its target; removed unless committed.
class TemporarySceneFile {
public:
    explicit TemporarySceneFile(const std::string& Target) : target_(Target)
    {
        const std::filesystem::path target(Target);
        std::filesystem::path folder = target.parent_path();
        if (folder.empty())
            folder = ".";
        path_ = (folder / std::string(1, '.').append(target.filename().string()).append(".XXXXXX")).string();
        const int fd = ::mkstemp(path_.data());
        if (fd < 0)
            ThrowFileError("cannot create the scene file", Target, errno);
        file_ = ::fdopen(fd, "wb");
        if (!file_) {
            const int error = errno;
            ::close(fd);
            ::unlink(path_.c_str());
            ThrowFileError("cannot create the scene file", Target, error);
        }
    }

    ~TemporarySceneFile()
    {
        if (file_)
            std::fclose(file_);
        if (!committed_)
            ::unlink(path_.c_str());
    }

    TemporarySceneFile(const TemporarySceneFile&) = delete;
    TemporarySceneFile& operator=(const TemporarySceneFile&) = delete;

    std::FILE* File() const { return file_; }

    // The content is complete and flushed: make it durable and put it in place.
    void Commit()
    {
        const int fd = ::fileno(file_);
        if (::fchmod(fd, SceneFileMode(target_)) != 0 || ::fsync(fd) != 0)
            ThrowFileError("cannot write the scene file", target_, errno);
        std::FILE* file = file_;
        file_ = nullptr;
        if (std::fclose(file) != 0)
            ThrowFileError("cannot write the scene file", target_, errno);
        if (std::rename(path_.c_str(), target_.c_str()) != 0)
            ThrowFileError("cannot replace the scene file", target_, errno);
        committed_ = true;
    }

private:
    std::string target_;
    std::string path_;
    std::FILE* file_ = nullptr;
    bool committed_ = false;
};

// The file the scene replaces: Path, or what it points to when it is a
// symbolic link, so that the rename replaces the file and keeps the link.
// Only a regular file is ever replaced: renaming over a device or a pipe
// (such as /dev/null) would destroy it.
std::string SceneTarget(const std::string& Path, const std::string& InputPath)
{
    if (Path.empty())
        throw Error(ErrorKind::FileSystem, "no scene file was chosen");
    std::filesystem::path target(Path);
    std::error_code error;
    for (int links = 0; std::filesystem::is_symlink(target, error); ++links) {
        const std::filesystem::path next = std::filesystem::read_symlink(target, error);
        if (error || links == 40)
            ThrowFileError("cannot follow the link", Path, error ? error.value() : ELOOP);
        target = next.is_absolute() ? next : target.parent_path() / next;
    }
    struct stat info {};
    if (::stat(target.c_str(), &info) != 0)
        return target.string();
    if (S_ISDIR(info.st_mode))
        throw Error(ErrorKind::FileSystem, "'" + Path + "' is a folder, not a scene file");
    if (!S_ISREG(info.st_mode))
        throw Error(ErrorKind::FileSystem, "'" + Path + "' is not a regular file; a scene file "
                                                        "replaces only a regular file");
    struct stat input {};
    if (::stat(InputPath.c_str(), &input) == 0 && input.st_dev == info.st_dev &&
        input.st_ino == info.st_ino) {
        throw Error(ErrorKind::FileSystem,
                    "the scene file '" + Path + "' is the export file itself; choose another name");
    }
    return target.string();
}

}  // namespace

double ParseFactor(std::string_view FactorText)
{
    const std::string_view text = Trim(FactorText);
    double factor = 0.0;
    if (!ReadNumber(text, factor) || !std::isfinite(factor))
        throw Error(ErrorKind::BadFactor, std::string(BadFactorMessage));
    return factor;
}

namespace {

ConvertReport Convert(ConvertState& State, const ConvertOptions& Options, std::FILE* Out,
                      const std::string& OutName, bool StartWriteback)
{
    const double factor = Options.SaveTrackpoints ? ParseFactor(Options.FactorText) : 0.0;
    State.CurrentLine.clear();
    State.CurrentLineNumber = 0;
    LineReader reader(State.InputFile);
    ReadCamPath(State, reader);

    SceneWriter writer(Out, OutName, StartWriteback);
    SaveCamPath(State, writer);
    ConvertReport report;
    report.Frames = State.FrameCount();
    if (Options.SaveTrackpoints)
        report.Trackers = SaveTrackers(State, reader, writer, factor);
    else
        WriteClosingLines(writer);
    writer.Flush();
    return report;
}

}  // namespace

ConvertReport ConvertToStream(ConvertState& State, const ConvertOptions& Options, std::FILE* Out,
                              const std::string& OutName)
{
    return Convert(State, Options, Out, OutName, false);
}

ConvertReport RunConversion(ConvertState& State, const ConvertOptions& Options)
{
    if (Options.SaveTrackpoints)
        ParseFactor(Options.FactorText);
    TemporarySceneFile scene(SceneTarget(State.OutputFile, State.InputFile));
    // The scene file is written back while the conversion runs, so that
    // Commit's fsync waits for the last piece only.
    ConvertReport report = Convert(State, Options, scene.File(), State.OutputFile, true);
    scene.Commit();
    return report;
}

}  // namespace quorvel
