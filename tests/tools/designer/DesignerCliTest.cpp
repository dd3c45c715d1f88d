// The designer as a user runs it: the program itself, on a copy of the application's form
// resource, with the scripted wave-in backend (one device, "Scripted Microphone", every standard
// format).
#include <gtest/gtest.h>
#include <png.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

struct Result {
  int status = -1;  // exit code; -1 when the program did not exit normally
  std::string out, err;
};

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// Runs the designer with `args`, its output captured in files of `dir`.
Result Designer(const fs::path& dir, const std::vector<std::string>& args) {
  const fs::path out = dir / "stdout.txt", err = dir / "stderr.txt";
  const pid_t pid = fork();
  if (pid == 0) {
    if (!freopen(out.c_str(), "w", stdout) || !freopen(err.c_str(), "w", stderr)) _exit(126);
    std::vector<char*> argv{const_cast<char*>(SAMPLE_DESIGNER)};
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    setenv("AS_WAVEIN_BACKEND", "scripted", 1);
    execv(SAMPLE_DESIGNER, argv.data());
    _exit(127);
  }
  Result result;
  int status = 0;
  if (pid < 0 || waitpid(pid, &status, 0) != pid) return result;
  if (WIFEXITED(status)) result.status = WEXITSTATUS(status);
  result.out = ReadFile(out);
  result.err = ReadFile(err);
  fs::remove(out);
  fs::remove(err);
  return result;
}

class DesignerCliTest : public testing::Test {
 protected:
  void SetUp() override {
    const auto* info = testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string(info->test_suite_name()) + "." + info->name();
    std::replace(name.begin(), name.end(), '/', '_');
    dir = fs::temp_directory_path() / ("sample-designer-" + std::to_string(getpid()) + "-" + name);
    fs::remove_all(dir);
    fs::create_directories(dir);
    form = dir / "F_main.dfm";
    fs::copy_file(MAIN_FORM, form);
    original = ReadFile(form);
  }
  void TearDown() override {
    if (!HasFailure()) fs::remove_all(dir);
  }

  Result Run(std::vector<std::string> args) { return Designer(dir, args); }

  // The files in the test's folder, to see that nothing was left behind.
  std::vector<std::string> Files() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir)) names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    return names;
  }

  fs::path dir, form;
  std::string original;
};

TEST_F(DesignerCliTest, PaletteListsThePageAndItsComponentsInOrder) {
  const Result r = Run({"palette"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out,
            "Vornex\n  TRecorder\n  TFFT\n  TWaveView\n  TFingerprintView\n  TSpectralView\n");
}

TEST_F(DesignerCliTest, ShowPrintsEachPropertyThroughItsEditor) {
  const Result r = Run({"show", form.string()});
  ASSERT_EQ(r.status, 0) << r.err;
  const std::vector<std::string> lines = Lines(r.out);
  // The root keeps the class name of the resource although the designer does not know it.
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines[0], "MainForm: TMainForm");
  auto at = [&](const std::string& line) {
    return static_cast<size_t>(std::find(lines.begin(), lines.end(), line) - lines.begin());
  };
  for (const char* line :
       {"  Caption = Audio Sampling", "  Width = 538", "  PixelsPerInch = 120",
        "WaveView1: TWaveView", "  Align = alTop", "  Source = Recorder1", "  Line = clLime",
        "SpectralView1: TSpectralView", "  Bands = 20", "FFT1: TFFT", "  BufSize = 1024"}) {
    EXPECT_LT(at(line), lines.size()) << "missing: " << line;
  }
  // The recorder's settings, each through its own editor; only Quality offers sub-properties.
  const size_t recorder = at("Recorder1: TRecorder");
  ASSERT_LT(recorder + 7, lines.size());
  EXPECT_EQ(lines[recorder + 1], "  Device = -1: [default] Scripted Microphone");
  EXPECT_EQ(lines[recorder + 2], "  Quality = 11025Hz, mono, 8bit");
  EXPECT_EQ(lines[recorder + 3], "    Channels = 1");
  EXPECT_EQ(lines[recorder + 4], "    Frequency = 11025");
  EXPECT_EQ(lines[recorder + 5], "    BitsPerSample = 8");
  EXPECT_EQ(lines[recorder + 6], "    OnChange = ");
  EXPECT_EQ(lines[recorder + 7], "  BufSize = 256");
  EXPECT_EQ(lines.back(), "  BufSize = 1024");

  // One component only.
  const Result one = Run({"show", form.string(), "fft1"});
  EXPECT_EQ(one.status, 0) << one.err;
  EXPECT_EQ(one.out, "FFT1: TFFT\n  Source = Recorder1\n  BufSize = 1024\n");
}

TEST_F(DesignerCliTest, ValuesListsTheEditorsChoices) {
  Result r = Run({"values", form.string(), "Recorder1.Quality"});
  EXPECT_EQ(r.status, 0) << r.err;
  const std::vector<std::string> presets = Lines(r.out);
  ASSERT_EQ(presets.size(), 12u);
  EXPECT_EQ(presets.front(), "11025Hz, mono, 8bit");
  EXPECT_EQ(presets[2], "11025Hz, stereo, 8bit");
  EXPECT_EQ(presets.back(), "44100Hz, stereo, 16bit");

  r = Run({"values", form.string(), "Recorder1.Device"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "-1: [default] Scripted Microphone\n0: Scripted Microphone\n");

  r = Run({"values", form.string(), "SpectralView1.Source"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "FFT1\n");

  r = Run({"values", form.string(), "MainForm.Font.Style.fsBold"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "False\nTrue\n");
}

TEST_F(DesignerCliTest, SetRewritesTheFormThroughTheEditor) {
  const Result r = Run({"set", form.string(), "Recorder1.Quality=44100Hz, stereo, 16bit"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");
  const std::string updated = ReadFile(form);

  // Every line of the original stays, in order; only the format's three values are added.
  std::vector<std::string> added;
  const std::vector<std::string> before = Lines(original), after = Lines(updated);
  size_t i = 0;
  for (const std::string& line : after) {
    if (i < before.size() && line == before[i])
      ++i;
    else
      added.push_back(line);
  }
  EXPECT_EQ(i, before.size()) << updated;
  EXPECT_EQ(added,
            (std::vector<std::string>{"    Quality.Channels = 2", "    Quality.Frequency = 44100",
                                      "    Quality.BitsPerSample = 16"}));

  // Read back, the editor shows the new format; writing again changes nothing.
  const Result shown = Run({"show", form.string(), "Recorder1"});
  EXPECT_NE(shown.out.find("  Quality = 44100Hz, stereo, 16bit\n"), std::string::npos) << shown.out;
  const Result again = Run({"set", form.string(), "Recorder1.Quality=44100HZ,STEREO,16BIT"});
  EXPECT_EQ(again.status, 0) << again.err;
  EXPECT_EQ(ReadFile(form), updated);
  EXPECT_EQ(Files(), (std::vector<std::string>{"F_main.dfm"}));
}

TEST_F(DesignerCliTest, SettingTheValuesAlreadyHeldWritesTheResourceBackUnchanged) {
  const Result r = Run({"set", form.string(), "Recorder1.Quality=11025Hz, mono, 8bit",
                        "Recorder1.Device=-1: [default] Scripted Microphone",
                        "SpectralView1.Bands=20", "MainForm.Font.Style.fsBold=False"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(ReadFile(form), original);
}

TEST_F(DesignerCliTest, SeveralAssignmentsAndSubProperties) {
  const Result r = Run({"set", form.string(), "Recorder1.Quality.Channels=4",
                        "Recorder1.Device=0: Scripted Microphone", "SpectralView1.Line=clRed",
                        "WaveView1.Source="});
  ASSERT_EQ(r.status, 0) << r.err;
  const Result shown = Run({"show", form.string()});
  for (const char* line : {"  Quality = 11025Hz, 4channels, 8bit\n",
                           "  Device = 0: Scripted Microphone\n", "  Line = clRed\n"}) {
    EXPECT_NE(shown.out.find(line), std::string::npos) << line << shown.out;
  }
  const std::vector<std::string> lines = Lines(shown.out);
  const size_t wave = std::find(lines.begin(), lines.end(), "WaveView1: TWaveView") - lines.begin();
  ASSERT_LT(wave + 6, lines.size());
  EXPECT_EQ(lines[wave + 6], "  Source = ");
}

struct BadSet {
  std::vector<std::string> assignments;
  const char* message;  // expected in stderr
};

class DesignerBadSetTest : public DesignerCliTest, public testing::WithParamInterface<BadSet> {};

TEST_P(DesignerBadSetTest, ReportsTheEditorsMessageAndLeavesTheFileAlone) {
  std::vector<std::string> args{"set", form.string()};
  args.insert(args.end(), GetParam().assignments.begin(), GetParam().assignments.end());
  const Result r = Run(args);
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find(GetParam().message), std::string::npos) << r.err;
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(ReadFile(form), original);
  EXPECT_EQ(Files(), (std::vector<std::string>{"F_main.dfm"}));
}

INSTANTIATE_TEST_SUITE_P(
    Faults, DesignerBadSetTest,
    testing::Values(
        BadSet{{"Recorder1.Quality=44100Hz, stereo"},
               "Recorder1.Quality: Badly formed audio parameters"},
        BadSet{{"Recorder1.Quality=44100Hz, many, 16bit"}, "'many' is not a valid integer value"},
        BadSet{{"Recorder1.Device=B"}, "Recorder1.Device: 'B' is not a valid integer value"},
        // The first assignment is good; nothing is written when a later one fails.
        BadSet{{"Recorder1.Quality=44100Hz, stereo, 16bit", "Recorder1.Quality=fast, 2, 16"},
               "'fast' is not a valid integer value"},
        BadSet{{"SpectralView1.Source=Recorder1"}, "'Recorder1' is not a valid value for Source"},
        BadSet{{"Recorder1.SamplePos=5"}, "Property SamplePos is read-only"},
        BadSet{{"Recorder1.Volume=5"}, "Recorder1 has no property 'Volume'"},
        BadSet{{"Recorder2.BufSize=5"}, "no component named 'Recorder2'"}));

TEST_F(DesignerCliTest, MalformedCommandLinesExitWithTwo) {
  for (const std::vector<std::string>& args :
       std::vector<std::vector<std::string>>{{},
                                             {"paint"},
                                             {"show"},
                                             {"set", form.string()},
                                             {"set", form.string(), "Recorder1"},
                                             {"values", form.string()},
                                             {"preview", form.string()}}) {
    const Result r = Run(args);
    EXPECT_EQ(r.status, 2) << testing::PrintToString(args);
    EXPECT_NE(r.err.find("usage: sample-designer"), std::string::npos);
  }
  EXPECT_EQ(ReadFile(form), original);
}

TEST_F(DesignerCliTest, AResourceThatDoesNotReadIsReported) {
  std::ofstream(dir / "broken.dfm") << "object MainForm: TMainForm\n  object X1: TNoSuchClass\n"
                                       "  end\nend\n";
  Result r = Run({"show", (dir / "broken.dfm").string()});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("TNoSuchClass"), std::string::npos) << r.err;
  r = Run({"show", (dir / "missing.dfm").string()});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("missing.dfm"), std::string::npos) << r.err;
}

// ---- The preview ----

struct Image {
  uint32_t width = 0, height = 0;
  std::vector<uint8_t> rgb;
  uint32_t At(int x, int y) const {
    const size_t i = (static_cast<size_t>(y) * width + x) * 3;
    return (uint32_t{rgb[i]} << 16) | (uint32_t{rgb[i + 1]} << 8) | rgb[i + 2];
  }
};

bool LoadPng(const fs::path& path, Image* image) {
  png_image png{};
  png.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&png, path.c_str())) return false;
  png.format = PNG_FORMAT_RGB;
  image->width = png.width;
  image->height = png.height;
  image->rgb.resize(PNG_IMAGE_SIZE(png));
  return png_image_finish_read(&png, nullptr, image->rgb.data(), 0, nullptr) != 0;
}

constexpr uint32_t kBlack = 0x000000, kGreen = 0x008000, kWhite = 0xFFFFFF, kLime = 0x00FF00;

TEST_F(DesignerCliTest, PreviewPaintsTheDesignerPreviewsOfTheViews) {
  const fs::path png = dir / "preview.png";
  const Result r = Run({"preview", form.string(), png.string()});
  ASSERT_EQ(r.status, 0) << r.err;
  Image image;
  ASSERT_TRUE(LoadPng(png, &image));
  // The client area of a 538 x 533 form, unscaled although the screen has another resolution.
  ASSERT_EQ(image.width, 530u);
  ASSERT_EQ(image.height, 506u);
  auto countIf = [&](int x0, int y0, int x1, int y1, auto match) {
    int n = 0;
    for (int y = y0; y < y1; ++y)
      for (int x = x0; x < x1; ++x) n += match(image.At(x, y));
    return n;
  };
  auto count = [&](int x0, int y0, int x1, int y1, uint32_t colour) {
    return countIf(x0, y0, x1, y1, [colour](uint32_t p) { return p == colour; });
  };
  // Text is smoothed: its pixels are shades between the background and the text colour.
  auto greenShade = [](uint32_t p) { return p != kBlack && (p & 0xFF00FF) == 0; };
  auto blackOrGreen = [](uint32_t p) { return (p & 0xFF00FF) == 0; };

  // The waveform view (rows 0..184): black with a lime zigzag crossing every column.
  EXPECT_GE(count(0, 0, 530, 185, kLime), 529);
  EXPECT_EQ(count(0, 0, 530, 185, kLime) + count(0, 0, 530, 185, kBlack), 530 * 185);

  // The fingerprint view (rows 185..343): a grid line every 30 rows up from its bottom row, across
  // the whole width right of the white cursor at x = 5, black between them.
  const int top = 185, height = 159;
  for (int y = 0; y < height; y += 30) {
    const int row = top + height - 1 - y;
    EXPECT_EQ(count(6, row, 530, row + 1, kGreen), 524) << "grid row " << y;
    EXPECT_EQ(count(100, row - 3, 530, row, kBlack), 430 * 3) << "above grid row " << y;
  }
  EXPECT_EQ(image.At(5, top + 1), kWhite);
  EXPECT_EQ(image.At(5, top + height - 2), kWhite);
  // Frequency labels beside the grid lines, in the grid's colour.
  EXPECT_GT(countIf(15, top + height - 23, 60, top + height - 1, greenShade), 10);

  // The bar view (rows 344..505, 20 bands of 26 pixels): green bars standing on the bottom row,
  // and the labels above them.
  const int barsTop = 344, bottom = 505, band = 26;
  int bars = 0;
  for (int i = 0; i < 20; ++i) bars += image.At(i * band + band / 2, bottom) == kGreen;
  EXPECT_GE(bars, 10);
  EXPECT_EQ(image.At(band / 2, bottom), kBlack);         // the first band's bar has no height
  EXPECT_EQ(image.At(band + band / 2, bottom), kGreen);  // the second one's has
  int barTop = bottom;
  while (barTop > barsTop && image.At(band + band / 2, barTop - 1) == kGreen) --barTop;
  EXPECT_LT(barTop, bottom - 50);
  // Above the second bar, its label: green glyphs on black, not a solid block.
  const int greenInLabel = countIf(band, barTop - 16, 2 * band, barTop, greenShade);
  EXPECT_GT(greenInLabel, 5);
  EXPECT_LT(greenInLabel, band * 16 / 2);
  // Nothing but black and shades of green in the whole bar view.
  EXPECT_EQ(countIf(0, barsTop, 530, 506, blackOrGreen), 530 * 162);
}

}  // namespace
