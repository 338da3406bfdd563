// talvesk-jpeg run as the built program, as a shell user runs it: decodes equal to djpeg's and
// compressions to cjpeg's in every file format, names as the shell gives them, any readable
// input, help, version and manual page, the messages and exit status of each failure, info of
// many files, and the progress bar.
#include <gtest/gtest.h>
#include <jerror.h>

#include <algorithm>
#include <regex>
#include <tuple>

#include "tests/jpeg/test_support.h"
#include "tests/support/jpeg_files.h"

namespace {

// Runs the command with a pseudo-terminal of the given width as stdin, stdout and stderr,
// newlines untranslated; returns what the terminal received, and the exit status in *status.
std::string RunOnTerminal(const std::string& command, int* status, int columns = 80) {
  std::string received;
  *status = RunShell("script -qec \"stty -onlcr cols " + std::to_string(columns) + "; " + command +
                         "\" /dev/null </dev/null",
                     &received);
  return received;
}

// What a command writes on stdout, as bytes.
Bytes OutputOf(const std::string& command) {
  std::string out;
  EXPECT_EQ(RunShell(command, &out), 0) << command;
  return Bytes(out.begin(), out.end());
}

// What a command writes on stderr.
std::string ErrorsOf(const std::string& command) {
  std::string err;
  RunShell("{ " + command + "; } 2>&1 >/dev/null", &err);
  return err;
}

// The operands are the shell's names: a backslash and "c:" are part of them, never a Windows
// path. Inputs that are not regular files (a pipe through /dev/stdin, a FIFO) are read whole.
TEST(Tool, DecodesAsDjpegFromAnyReadableInputIntoEachFormat) {
  TempDir dir;
  const Bytes jpeg = MakeJpeg(45, 33, "-progressive");
  WriteFileBytes(dir.Path("in\\put.jpg"), jpeg);
  WriteFileBytes(dir.Path("gray.jpg"), MakeJpeg(45, 33, "", true));
  const std::string cd = "cd " + dir.Quoted("") + " && ";
  const std::string out = "'c:out\\name.bmp'";
  const std::pair<std::string, TJPEGDefaults> toBitmaps[] = {
      {"decode 'in\\put.jpg' " + out, {}},
      {"cat 'in\\put.jpg' | " + kTool + "decode - - --gray --shrink=4 --show-while-loading > " +
           out,
       {.GrayOutput = true, .ShrinkFactor = sfQuarter}},
      {"cat 'in\\put.jpg' | " + kTool + "decode /dev/stdin " + out + " --fast --depth=8",
       {.DecodeSpeed = dsBestSpeed, .BitmapDepth = bd8Bit}},
      {"mkfifo fifo && { cat 'in\\put.jpg' > fifo & } && " + kTool + "decode fifo " + out +
           " --no-smoothing --depth 8 && rm fifo",
       {.BitmapDepth = bd8Bit}}};
  for (const auto& [command, options] : toBitmaps) {
    SCOPED_TRACE(command);
    ASSERT_EQ(RunShell(cd + (command.starts_with("decode") ? kTool : "") + command), 0);
    TBitmap saved;
    saved.LoadFromStream(*StreamOf(ReadFileBytes(dir.Path("c:out\\name.bmp"))));
    ExpectSameColours(Djpeg(jpeg, DjpegOptions(options)), Resolve(saved));
  }

  // Netpbm files are djpeg's own bytes; the PNG holds the same pixels, read by ImageMagick.
  for (const auto& [command, output, djpeg] :
       {std::tuple{"'in\\put.jpg' out.ppm", "out.ppm", "-dct float 'in\\put.jpg'"},
        {"'in\\put.jpg' out.pgm --gray", "out.pgm",
         "-dct float -grayscale -colors 236 'in\\put.jpg'"},
        {"'in\\put.jpg' - --format pnm --depth 8 > out.x", "out.x",
         "-dct float -colors 236 'in\\put.jpg'"},
        {"gray.jpg OUT.PNM", "OUT.PNM", "-dct float -colors 236 gray.jpg"},
        {"'in\\put.jpg' out.png --depth 8 && convert out.png ppm:out.x", "out.x",
         "-dct float -colors 236 'in\\put.jpg'"},
        {"gray.jpg out.png && convert out.png pgm:out.x", "out.x",
         "-dct float -colors 236 gray.jpg"}}) {
    SCOPED_TRACE(command);
    ASSERT_EQ(RunShell(cd + kTool + "decode " + command), 0);
    EXPECT_EQ(ReadFileBytes(dir.Path(output)), OutputOf(cd + "djpeg -pnm " + djpeg));
  }
}

// The input's format is told by its content, and "--" lets a name start with "-". A gray input
// is saved gray, as cjpeg saves it.
TEST(Tool, EncodesAsCjpegFromEachFormat) {
  TempDir dir;
  PatternBitmap(61, 47)->SaveToFile(dir.Path("in.bmp").string());
  WriteFileBytes(dir.Path("in.jpg"), MakeJpeg(45, 33));
  const std::string cd = "cd " + dir.Quoted("") + " && ";
  ASSERT_EQ(RunShell(cd + "convert in.bmp png24:in.png && convert in.bmp -interlace PNG "
                          "png24:interlaced.png && djpeg in.jpg > in.ppm && djpeg -grayscale "
                          "in.jpg > ./-gray.pgm && convert ./-gray.pgm gray.png"),
            0);
  const std::string cjpeg = "cjpeg -dct float -baseline ";
  for (const auto& [command, oracle] :
       {std::pair<std::string, std::string>{"encode in.bmp out.jpg", "-quality 90 in.bmp"},
        {"cat in.bmp | " + kTool + "encode - - --quality 75 --gray --progressive > out.jpg",
         "-quality 75 -grayscale -progressive in.bmp"},
        {"djpeg in.jpg | " + kTool + "encode - out.jpg --quality=80", "-quality 80 in.ppm"},
        {"encode -q70 -- -gray.pgm out.jpg", "-quality 70 ./-gray.pgm"},
        {"encode gray.png out.jpg", "-quality 90 ./-gray.pgm"},
        {"encode in.png out.jpg -q 80", "-quality 80 in.bmp"},
        {"encode interlaced.png out.jpg -q 80", "-quality 80 in.bmp"}}) {
    SCOPED_TRACE(command);
    ASSERT_EQ(RunShell(cd + (command.starts_with("encode") ? kTool : "") + command), 0);
    EXPECT_EQ(ReadFileBytes(dir.Path("out.jpg")), OutputOf(cd + cjpeg + oracle));
  }
}

TEST(Tool, HelpAndVersionGoToStdoutAndTheManualPageIsMadeFromThem) {
  TempDir dir;
  const std::string help = RunCapturing(dir, kTool + "--help").out;
  EXPECT_TRUE(help.starts_with("Usage: talvesk-jpeg COMMAND")) << help;
  for (const char* asking : {"-h", "help", "--help", "help --help"}) {
    const ShellRun run = RunCapturing(dir, kTool + asking);
    EXPECT_EQ(run.status, 0) << asking;
    EXPECT_EQ(run.out, help) << asking;
  }
  for (const std::string command : {"info", "decode", "encode"}) {
    const ShellRun run = RunCapturing(dir, kTool + command + " --help");
    EXPECT_EQ(run.status, 0) << command;
    EXPECT_TRUE(run.out.starts_with("Usage: talvesk-jpeg " + command + " ")) << run.out;
    EXPECT_EQ(RunCapturing(dir, kTool + command + " x.jpg -h").out, run.out) << command;
    EXPECT_EQ(RunCapturing(dir, kTool + "help " + command).out, run.out) << command;
  }
  // cjpeg says which libjpeg-turbo it was built with; so must we.
  std::string cjpeg;
  RunShell("cjpeg -version 2>&1", &cjpeg);
  std::smatch turbo;
  ASSERT_TRUE(std::regex_search(cjpeg, turbo, std::regex("libjpeg-turbo version ([0-9.]+)")));
  const ShellRun version = RunCapturing(dir, kTool + "--version");
  EXPECT_EQ(version.status, 0);
  EXPECT_TRUE(std::regex_search(version.out, std::regex("^talvesk-jpeg [0-9]+\\.[0-9]+")));
  EXPECT_NE(version.out.find("libjpeg-turbo " + turbo[1].str()), std::string::npos);

  // The page cmake --install puts in place names every option the help lists, and has the
  // sections a reader of djpeg's page looks for.
  const std::string install = "cmake --install '" TALVESK_BINARY_DIR "' --component talvesk-jpeg";
  ASSERT_EQ(RunShell(install + " --prefix " + dir.Quoted("prefix") + " >/dev/null"), 0);
  EXPECT_TRUE(std::filesystem::exists(dir.Path("prefix/bin/talvesk-jpeg")));
  const std::string page = ReadFileText(dir.Path("prefix/share/man/man1/talvesk-jpeg.1"));
  EXPECT_NE(page.find(".TH TALVESK-JPEG \"1\""), std::string::npos) << page;
  const auto exitStatus = page.find("\n.SH \"EXIT STATUS\"\n");
  EXPECT_NE(page.find("\n2\n", exitStatus), std::string::npos) << page;
  const auto seeAlso = page.find("\n.SH \"SEE ALSO\"\n");
  EXPECT_NE(page.find("djpeg(1), cjpeg(1)", seeAlso), std::string::npos) << page;
  const std::regex listed("\n  (?:-[a-z], )?(--[a-z-]+)");
  for (std::sregex_iterator option(help.begin(), help.end(), listed), end; option != end;
       ++option) {
    const std::string name = (*option)[1];
    EXPECT_NE(page.find(std::regex_replace(name, std::regex("-"), "\\-")), std::string::npos)
        << name;
  }
}

// Each message names its file and says what is wrong: a JPEG error with libjpeg's own words, as
// djpeg and cjpeg print them for the same file.
TEST(Tool, MessagesNameTheFileAndSayWhatIsWrong) {
  TempDir dir;
  for (const auto& [usage, reason] :
       {std::pair{"", "no command given"},
        {"frobnicate x.jpg", "unknown command 'frobnicate'"},
        {"help frobnicate", "no command 'frobnicate'"},
        {"--version x", "--version takes no arguments"},
        {"info", "needs at least 1 file (IN.jpg...), got 0"},
        {"decode a.jpg", "needs 2 files (IN.jpg OUT), got 1"},
        {"decode a b.bmp --depth 16", "invalid value '16' for --depth (24|8)"},
        {"decode a b.bmp --shrink=3", "invalid value '3' for --shrink (1|2|4|8)"},
        {"decode a b.bmp --bogus", "unknown option '--bogus'"},
        {"decode a b.bmp --depth", "option --depth needs a value (24|8)"},
        {"decode a b.bmp --gray=1", "option --gray takes no value"},
        {"decode a b.tif", "the name 'b.tif' does not say a format"},
        {"decode a - --format tif", "invalid value 'tif' for --format (bmp|ppm|pgm|pnm|png)"},
        {"encode a b -q 0", "invalid value '0' for --quality (1-100)"},
        {"encode a b --quality=101", "invalid value '101' for --quality (1-100)"},
        {"encode a b -qx", "invalid value 'x' for --quality (1-100)"}}) {
    const ShellRun run = RunCapturing(dir, kTool + usage);
    EXPECT_EQ(run.status, 2) << usage;
    EXPECT_EQ(run.out, "") << usage;
    EXPECT_TRUE(std::regex_match(run.err, std::regex("talvesk-jpeg: [^\n]*\nusage: [^\n]*\n")))
        << run.err;
    EXPECT_NE(run.err.find(reason), std::string::npos) << usage << ": " << run.err;
  }

  const Bytes jpeg = MakeJpeg(200, 150);
  WriteFileBytes(dir.Path("in.jpg"), jpeg);
  WriteFileBytes(dir.Path("empty.jpg"), {});
  ASSERT_EQ(RunShell("cd " + dir.Quoted("") +
                     " && djpeg in.jpg > in.ppm && printf 'P6\\n60000 "
                     "60000\\n255\\nabc' > huge.ppm && printf 'P3\\n1 1\\n255\\n0 0 0\\n' > "
                     "plain.ppm && printf 'P6\\n1 1\\n65535\\n012345' > deep.ppm && "
                     "convert in.ppm in.png && head -c 200 in.png "
                     "> short.png && printf 'P6\\n65501 1\\n255\\n' > wide.ppm && head -c "
                     "196503 /dev/zero >> wide.ppm"),
            0);
  const Bytes kept = MakeJpeg(5, 5);
  WriteFileBytes(dir.Path("keep.jpg"), kept);
  const std::string in = dir.Quoted("in.jpg"), out = " " + dir.Quoted("out.bmp") + " ";
  const auto name = [&](const std::string& file) { return dir.Path(file).string() + ": "; };
  const auto djpegSays = [&](const std::string& file) {
    return ErrorsOf("djpeg " + dir.Quoted(file));
  };
  // A failure writes nothing to standard output; a reader that is gone, or a full device, is a
  // failure too; a save that fails leaves the file that was there.
  for (const auto& [failing, message] :
       {std::pair{"decode " + dir.Quoted("in.ppm") + out,
                  name("in.ppm") + JpegErrorText(JERR_NO_SOI) + ": " + djpegSays("in.ppm")},
        {"info " + dir.Quoted("empty.jpg"),
         name("empty.jpg") + JpegErrorText(JERR_INPUT_EMPTY) + ": " + djpegSays("empty.jpg")},
        {"encode " + dir.Quoted("wide.ppm") + " " + dir.Quoted("keep.jpg"),
         name("wide.ppm") + JpegErrorText(JERR_IMAGE_TOO_BIG) + ": " +
             ErrorsOf("cjpeg " + dir.Quoted("wide.ppm"))},
        {"info " + dir.Quoted("missing.jpg"), name("missing.jpg") + "Cannot open file \"" +
                                                  dir.Path("missing.jpg").string() +
                                                  "\". No such file or directory\n"},
        {"encode " + in + " x.jpg",
         name("in.jpg") + "Not a BMP, PPM/PGM or PNG file: starts with 0xff 0xd8\n"},
        {"encode " + dir.Quoted("plain.ppm") + " x.jpg",
         name("plain.ppm") + "Netpbm P3 files are not read: only binary PGM (P5) and PPM (P6) "
                             "with maxval 255\n"},
        {"encode " + dir.Quoted("deep.ppm") + " x.jpg",
         name("deep.ppm") + "PPM/PGM maxval 65535 is not read: only 255 (8-bit samples)\n"},
        {"encode " + dir.Quoted("huge.ppm") + " x.jpg",
         name("huge.ppm") + "PPM/PGM file is not valid: the file holds fewer pixels than its "
                            "header announces\n"},
        {"encode " + dir.Quoted("short.png") + " x.jpg",
         name("short.png") + "PNG file is not valid: the file ends early\n"},
        {"decode " + in + " " + dir.Quoted("keep.pgm"),
         name("keep.pgm") + "A PGM file holds shades of gray: decode with --gray, or write PPM\n"},
        {"decode " + in + " /dev/full", ""},
        {"decode " + in + " - > /dev/full", ""},
        {"--help > /dev/full", ""},
        {"decode " + in + " -; echo $? > " + dir.Quoted("status") + ") | head -c 1 >/dev/null",
         ""}}) {
    // The reader that is gone: the tool's own status is kept in a file.
    const bool piped = failing.ends_with("/dev/null");
    ShellRun run = RunCapturing(dir, (piped ? "(" : "") + kTool + failing);
    if (piped) run.status = std::stoi(ReadFileText(dir.Path("status")));
    EXPECT_EQ(run.status, 1) << failing;
    EXPECT_EQ(run.out, "") << failing;
    EXPECT_TRUE(std::regex_match(run.err, std::regex("talvesk-jpeg: [^\n]+\n"))) << run.err;
    if (!message.empty()) {
      EXPECT_EQ(run.err, "talvesk-jpeg: " + message);
    }
  }
  EXPECT_EQ(ReadFileBytes(dir.Path("keep.jpg")), kept);
  EXPECT_FALSE(std::filesystem::exists(dir.Path("keep.pgm")));

  // Data cut short still decode, as djpeg decodes them, with libjpeg's warning once per file
  // (a progressive decode asks past the end once per scan).
  for (const std::string options : {"", "-progressive"}) {
    const Bytes whole = MakeJpeg(64, 48, options);
    const std::size_t inFirstScan = (ScanHeaderAt(whole) + whole.size()) / 2;
    const Bytes cut(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(inFirstScan));
    WriteFileBytes(dir.Path("cut.jpg"), cut);
    const ShellRun run = RunCapturing(dir, kTool + "decode " + dir.Quoted("cut.jpg") + " " +
                                               dir.Quoted("cut.bmp") + " --show-while-loading");
    EXPECT_EQ(run.status, 0) << options;
    EXPECT_EQ(run.err, "talvesk-jpeg: " + name("cut.jpg") + "warning: " + djpegSays("cut.jpg"))
        << options;
    // djpeg's exit status says it warned.
    ASSERT_EQ(RunShell("djpeg -dct float -bmp " + dir.Quoted("cut.jpg") + " 2>/dev/null > " +
                       dir.Quoted("djpeg.bmp")),
              2);
    TBitmap saved, djpeg;
    saved.LoadFromFile(dir.Path("cut.bmp").string());
    djpeg.LoadFromFile(dir.Path("djpeg.bmp").string());
    ExpectSameColours(Resolve(djpeg), Resolve(saved));
  }
}

// One line per file, fields first and the name last; colour space and sampling factors as
// ImageMagick's identify reports them. A file that fails does not stop the others.
TEST(Tool, InfoDescribesEachFileAndGoesOnPastFailures) {
  if (!HaveImageMagick()) GTEST_SKIP() << "no ImageMagick's convert";
  TempDir dir;
  WriteFileBytes(dir.Path("sampled 420.jpg"), MakeJpeg(61, 47));
  WriteFileBytes(dir.Path("422.jpg"), MakeJpeg(61, 47, "-sample 2x1 -progressive"));
  WriteFileBytes(dir.Path("gray.jpg"), MakeJpeg(40, 30, "", true));
  WriteFileBytes(dir.Path("bad.jpg"), Bytes{'n', 'o', 'p', 'e'});
  // ImageMagick writes CMYK as YCCK (Adobe marker transform 2); with that byte cleared, the same
  // bytes are a plain CMYK file.
  ASSERT_EQ(RunShell("convert -size 29x19 xc:navy -colorspace CMYK " + dir.Quoted("ycck.jpg")), 0);
  Bytes cmyk = ReadFileBytes(dir.Path("ycck.jpg"));
  ASSERT_EQ(cmyk.at(17), 2);
  cmyk.at(17) = 0;
  WriteFileBytes(dir.Path("cmyk.jpg"), cmyk);

  std::string expected;
  const std::string cd = "cd " + dir.Quoted("") + " && ";
  for (const auto& [file, colour] : {std::pair{"sampled 420.jpg", "YCbCr"},
                                     {"422.jpg", "YCbCr"},
                                     {"gray.jpg", "Gray"},
                                     {"ycck.jpg", "YCCK"},
                                     {"cmyk.jpg", "CMYK"}}) {
    std::string identified;
    ASSERT_EQ(RunShell(cd + "identify -format '%w %h %[interlace] %[jpeg:sampling-factor]' '" +
                           file + "'",
                       &identified),
              0);
    std::smatch fields;
    ASSERT_TRUE(std::regex_match(identified, fields, std::regex("(\\d+ \\d+) (\\w+) (\\S+)")));
    expected += fields[1].str() + " gray=" + (std::string(colour) == "Gray" ? "1" : "0") +
                " progressive=" + (fields[2] == "JPEG" ? "1" : "0") + " colour=" + colour +
                " sampling=" + fields[3].str() + " " + file + "\n";
  }
  const ShellRun run = RunCapturing(
      dir, cd + kTool + "info 'sampled 420.jpg' 422.jpg bad.jpg gray.jpg - cmyk.jpg < ycck.jpg");
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, std::regex_replace(expected, std::regex(" ycck\\.jpg\n"), " -\n"));
  EXPECT_EQ(run.err, "talvesk-jpeg: bad.jpg: " + JpegErrorText(JERR_NO_SOI) +
                         ": Not a JPEG file: starts with 0x6e 0x6f\n");
}

// What a terminal received after a bar was shown: frames of this activity, each drawn over the
// last and no wider than the terminal, then the line cleared. "<no bar>" when the output has
// another shape.
std::string AfterBar(const std::string& received, const std::string& activity, int columns = 80) {
  std::smatch clear;
  if (!std::regex_search(received, clear, std::regex("\r +\r"))) return "<no bar>";
  const std::string frames = clear.prefix();
  const std::regex frame("\r" + activity + " +[0-9]+%( \\[[#-]+\\])? *");
  const std::regex carriageReturn("\r");
  for (std::sregex_token_iterator drawn(frames.begin(), frames.end(), carriageReturn, -1), end;
       drawn != end; ++drawn) {
    if (drawn->length() >= columns) return "<too wide>";
  }
  if (frames.empty() || !std::regex_replace(frames, frame, "").empty()) return "<no bar>";
  return clear.suffix();
}

TEST(Tool, ProgressBarFitsTheTerminalShowsTheSaveAndIsClearedOnEveryEnd) {
  TempDir dir;
  Bytes broken = MakeJpeg(960, 720, "-progressive");
  WriteFileBytes(dir.Path("in.jpg"), broken);
  // The last scan's header made too short: the decode fails after most of its work.
  const std::uint8_t startOfScan[] = {0xFF, 0xDA};
  const auto lastScan =
      std::find_end(broken.begin(), broken.end(), std::begin(startOfScan), std::end(startOfScan));
  lastScan[2] = 0;
  lastScan[3] = 1;
  WriteFileBytes(dir.Path("broken.jpg"), broken);
  PatternBitmap(960, 720)->SaveToFile(dir.Path("in.bmp").string());
  // The test hook shrinks the half-second waits to half a millisecond.
  const std::string fast = "TALVESK_JPEG_TEST_CLOCK_SPEEDUP=1000 " + kTool;
  const std::string decode = fast + "decode " + dir.Quoted("in.jpg") + " " + dir.Quoted("out.bmp");
  for (const auto& [command, activity, columns, expectedStatus, after] :
       {std::tuple<std::string, const char*, int, int, std::string>{
            decode + " --show-while-loading", "decoding", 80, 0, "<saved>"},
        {decode + " --show-while-loading", "decoding", 30, 0, "<saved>"},
        {fast + "encode " + dir.Quoted("in.bmp") + " " + dir.Quoted("out.jpg"), "encoding", 24, 0,
         "<saved>"},
        {fast + "decode " + dir.Quoted("broken.jpg") + " " + dir.Quoted("broken.bmp"), "decoding",
         80, 1,
         "talvesk-jpeg: " + dir.Path("broken.jpg").string() + ": " +
             JpegErrorText(JERR_BAD_LENGTH) + ": Bogus marker length\n"}}) {
    int status = -1;
    const std::string received = RunOnTerminal(command, &status, columns);
    EXPECT_EQ(status, expectedStatus) << command;
    std::string rest = AfterBar(received, activity, columns);
    // Then the save, as much of "saving OUT" as fits, cleared in turn.
    std::smatch save;
    if (std::regex_match(rest, save, std::regex("\r(saving [^\r]*)\r +\r")) &&
        save[1].length() < columns &&
        ("saving " + dir.Path("out.").string()).starts_with(save[1].str().substr(0, 20))) {
      rest = "<saved>";
    }
    EXPECT_EQ(rest, after) << columns << ": " << received;
  }

  int status = -1;
  EXPECT_EQ(RunOnTerminal(decode + " --quiet", &status), "");
  EXPECT_EQ(RunCapturing(dir, decode + " --show-while-loading").err, "");
  // On a terminal too, --progress gives its lines and nothing else.
  const std::string lines = RunOnTerminal(decode + " --progress", &status);
  EXPECT_TRUE(std::regex_match(
      lines, std::regex("starting 0 0 0 0 0 0\n(running( [0-9]+){6}\n)+ending 100 1 0 0 0 0\n")))
      << lines;

  // Killed while the save waits for a FIFO's reader: the line is cleared, and the signal ends the
  // program as it would have without the bar (script reports 128 + SIGTERM). SIGTERM, since a
  // background job of a script ignores Ctrl-C's SIGINT, which takes the same way.
  const std::string typescript = dir.Path("typescript").string();
  ASSERT_EQ(
      RunShell("cd " + dir.Quoted("") +
               " || exit 1; mkfifo fifo.bmp; { script -qec \"echo \\$\\$ "
               "> pid; TALVESK_JPEG_TEST_CLOCK_SPEEDUP=1000 exec " +
               kTool +
               "decode in.jpg fifo.bmp\" /dev/null > typescript </dev/null; echo $? > status; } & "
               "for i in $(seq 100); do grep -qs saving typescript && break; sleep 0.1; done; "
               "kill $(cat pid); for i in $(seq 100); do [ -s status ] && break; sleep 0.1; "
               "done; kill -KILL $(cat pid) 2>/dev/null; wait"),
      0);
  const std::string received = ReadFileText(typescript);
  EXPECT_EQ(ReadFileText(dir.Path("status")), "143\n");
  EXPECT_TRUE(std::regex_search(received, std::regex("\rsaving fifo\\.bmp\r +\r$"))) << received;
}

}  // namespace
