#include "tools/talvesk-jpeg/help.h"

#include <cctype>
#include <cstring>
#include <string>
// jpeglib.h needs FILE and size_t declared first.
#include <jerror.h>
#include <jpeglib.h>

#include "tools/talvesk-jpeg/commands.h"

namespace {

// Where the explanations start, and where lines end; a longer first column gets a line of its
// own.
constexpr int kTextColumn = 25;
constexpr int kLineWidth = 79;

void PrintEntry(std::FILE* out, const std::string& entry, const char* text) {
  std::fprintf(out, "  %s", entry.c_str());
  int column = 2 + static_cast<int>(entry.size());
  if (column + 2 > kTextColumn) {
    std::fputc('\n', out);
    column = 0;
  }
  std::fprintf(out, "%*s", kTextColumn - column, "");
  column = kTextColumn;
  // Word by word, wrapping under the text column.
  for (const char* word = text; *word != '\0';) {
    const char* end = std::strchr(word, ' ');
    if (end == nullptr) end = word + std::strlen(word);
    const int length = static_cast<int>(end - word);
    if (column > kTextColumn && column + 1 + length > kLineWidth) {
      std::fprintf(out, "\n%*s", kTextColumn, "");
      column = kTextColumn;
    } else if (column > kTextColumn) {
      std::fputc(' ', out);
      ++column;
    }
    std::fwrite(word, 1, static_cast<std::size_t>(length), out);
    column += length;
    word = *end == ' ' ? end + 1 : end;
  }
  std::fputc('\n', out);
}

std::string OptionEntry(const OptionHelp& option) {
  std::string entry = option.name;
  if (option.value != nullptr) entry += std::string(" ") + option.value;
  return entry;
}

void PrintOptions(const CommandHelp& command, std::FILE* out) {
  for (const OptionHelp& option : command.options) {
    const std::string shortForm =
        option.shortName != 0 ? std::string("-") + option.shortName + ", " : "";
    PrintEntry(out, shortForm + OptionEntry(option), option.text);
  }
}

void PrintDetails(const CommandHelp& command, std::FILE* out) {
  if (command.details != nullptr) std::fprintf(out, "\n%s", command.details);
}

// The manual page's build promotes the last two headings to the sections EXIT STATUS and SEE
// ALSO (talvesk-jpeg.cmake), so they stay last.
const char* kStreamsAndStatus =
    "Files:\n"
    "  Names are taken as the shell gives them. IN given as - reads standard input,\n"
    "  OUT given as - writes standard output (./- names a file called -). An IN that\n"
    "  is not a regular file (a pipe, <(...), /dev/stdin) is read whole first, up to\n"
    "  1 GiB, as - is. A run that fails leaves no half-written OUT file.\n"
    "\n"
    "Option forms:\n"
    "  --NAME=VALUE is --NAME VALUE; -- ends the options, so that a file name may\n"
    "  start with -.\n"
    "\n"
    "Progress:\n"
    "  When stderr is a terminal, a decode or encode that runs longer than half a\n"
    "  second shows its percentage on stderr, then the save, and clears the line at\n"
    "  the end or on Ctrl-C; --quiet turns this off, and --progress prints each\n"
    "  notification as a line.\n"
    "\n"
    "Messages:\n"
    "  Each starts with talvesk-jpeg: and the file it is about. A JPEG error gives\n"
    "  the picture unit's number and libjpeg's words for it; damaged data that\n"
    "  libjpeg decodes anyway gives libjpeg's first warning, once per file, and the\n"
    "  run goes on.\n"
    "\n"
    "Library:\n"
    "  libjpeg does the JPEG coding; talvesk-jpeg --version names the one in use.\n"
    "\n"
    "Exit status:\n"
    "  0  done (also after a warning)\n"
    "  1  failed (for info: some file failed); the reason is on stderr\n"
    "  2  usage error; what was wrong and the usage line are on stderr\n"
    "\n"
    "See also:\n"
    "  djpeg(1), cjpeg(1)\n";

#define TALVESK_STRINGIFY_VALUE(x) #x
#define TALVESK_STRINGIFY(x) TALVESK_STRINGIFY_VALUE(x)

}  // namespace

int UsageError(const CommandHelp& command, const std::string& reason) {
  std::string line = std::string("usage: talvesk-jpeg ") + command.name + " " + command.operands;
  for (const OptionHelp& option : command.options) line += " [" + OptionEntry(option) + "]";
  std::fprintf(stderr, "talvesk-jpeg: %s: %s\n%s\n", command.name, reason.c_str(), line.c_str());
  return kExitUsage;
}

void PrintCommandHelp(const CommandHelp& command, std::FILE* out) {
  std::fprintf(out, "Usage: talvesk-jpeg %s %s%s\n", command.name, command.operands,
               command.options.empty() ? "" : " [OPTIONS]");
  std::fprintf(out, "%c%s.\n\nOptions:\n",
               static_cast<char>(std::toupper(static_cast<unsigned char>(command.summary[0]))),
               command.summary + 1);
  PrintOptions(command, out);
  PrintEntry(out, "-h, --help", "show this help");
  PrintDetails(command, out);
}

void PrintProgramHelp(std::span<const CommandHelp* const> commands, std::FILE* out) {
  std::fputs(
      "Usage: talvesk-jpeg COMMAND ARGUMENTS...\n"
      "  or:  talvesk-jpeg help [COMMAND]\n"
      "  or:  talvesk-jpeg --help | --version\n"
      "Tries the JPEG picture unit of Talvesk from the command line: reads JPEG files'\n"
      "headers, decodes a JPEG file into a BMP, PPM/PGM or PNG file, or compresses such a\n"
      "file into a JPEG file, each the way a picture does it.\n\nCommands:\n",
      out);
  for (const CommandHelp* command : commands) {
    PrintEntry(out, std::string(command->name) + " " + command->operands, command->summary);
  }
  PrintEntry(out, "help [COMMAND]", "show this help, or one command's");
  for (const CommandHelp* command : commands) {
    if (!command->options.empty()) {
      std::fprintf(out, "\nOptions of %s:\n", command->name);
      PrintOptions(*command, out);
    } else if (command->details != nullptr) {
      std::fprintf(out, "\nOutput of %s:", command->name);
    }
    PrintDetails(*command, out);
  }
  std::fputs("\nEvery command also takes -h or --help for its own help.\n\n", out);
  std::fputs(kStreamsAndStatus, out);
}

void PrintVersion(std::FILE* out) {
  std::fprintf(out, "talvesk-jpeg %s\n", TALVESK_VERSION);
#ifdef LIBJPEG_TURBO_VERSION
  std::fprintf(out, "libjpeg-turbo %s", TALVESK_STRINGIFY(LIBJPEG_TURBO_VERSION));
#else
  std::fputs("libjpeg", out);
#endif
  std::fprintf(out, " (libjpeg API %d.%d)\n", JPEG_LIB_VERSION / 10, JPEG_LIB_VERSION % 10);
  // The copyright line of the library actually loaded, from its own message table.
  jpeg_error_mgr errors{};
  jpeg_std_error(&errors);
  if (JMSG_COPYRIGHT <= errors.last_jpeg_message) {
    std::fprintf(out, "%s\n", errors.jpeg_message_table[JMSG_COPYRIGHT]);
  }
}
