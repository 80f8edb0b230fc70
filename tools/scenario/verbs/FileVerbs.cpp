#include "scenario/verbs/FileVerbs.h"

#include <string>

#include "media/InstallationMedia.h"
#include "winsim/FileSystem.h"

namespace scenario {
namespace {

std::string machine_path(const Line &line, std::size_t index, const char *verb) {
  const std::string &path = line.word(index, "path in the machine");
  auto full = winsim::FileSystem::resolve(path, "C:\\");
  if (!full)
    throw LineError(std::string(verb) + ": \"" + path + "\" is not a path the machine can name");
  return *full;
}

void file(winsim::World &world, const Line &line) {
  std::string path = machine_path(line, 1, "file");
  if (line.words.size() == 2) {
    world.files().add_file(path);
    return;
  }
  const std::string &kind = line.word(2, "file kind");
  if (kind == "text") {
    const std::string &content = line.word(3, "content");
    line.no_more_than(3);
    world.files().add_text_file(path, content);
  } else if (kind == "busy") {
    line.no_more_than(2);
    winsim::FileNode *node = world.files().find(path);
    (node != nullptr ? *node : world.files().add_file(path)).busy = true;
  } else if (kind == "wave") {
    std::uint64_t length = parse_duration(line.word(3, "play length"), "play length");
    line.no_more_than(3);
    world.files().add_file(path).play_ms = length;
  } else {
    throw LineError("file: unknown kind \"" + kind + "\" (text, busy or wave)");
  }
}

void media(winsim::World &world, const Line &line) {
  std::string folder = machine_path(line, 1, "media");
  std::vector<std::string> without;
  for (std::size_t i = 2; i < line.words.size(); i += 2) {
    if (line.words[i] != "without")
      throw LineError("media: expected \"without <relative path>\", not \"" + line.words[i] + "\"");
    without.push_back(line.word(i + 1, "relative path of the file to leave out"));
  }
  standin::lay_out_media(world, folder, without);
}

}  // namespace

void add_file_verbs(Verbs &verbs) {
  verbs.add("file", file,
            "file <path> [text \"<content>\"]\nfile <path> busy\nfile <path> wave <time>");
  verbs.add("media", media, "media <folder> [without <relative path>]...");
}

}  // namespace scenario
