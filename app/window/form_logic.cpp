#include "app/window/form_logic.h"

#include <algorithm>
#include <exception>
#include <filesystem>  // full names and folder listings of drops
#include <memory>
#include <utility>

#include "app/features/image_raster.h"
#include "app/features/shipped_files.h"
#include "app/platform/base/errors.h"
#include "app/platform/paths.h"
#include "app/platform/process.h"
#include "app/platform/settings.h"
#include "app/platform/settings_location.h"

namespace kova {

namespace fs = std::filesystem;

const std::array<ControlLayout, kFormControlCount> kFormControls{{
    {"Label4", ControlKind::Label, 16, 8, 170, 13,
     "Step 1: Get ASCII data from:", ControlFont::Verdana, -1},
    {"Label5", ControlKind::Link, 200, 6, 228, 16, kDownloadAddress, ControlFont::Link, -1},
    {"Label1", ControlKind::Label, 16, 32, 145, 13, "Step 2 : Make Kova image",
     ControlFont::Verdana, -1},
    {"Label2", ControlKind::Label, 32, 56, 95, 13, "Input file (*.asc)", ControlFont::Verdana, -1},
    {"Edit1", ControlKind::Edit, 152, 52, 417, 21, "", ControlFont::Verdana, 1},
    {"Button2", ControlKind::Button, 584, 50, 25, 25, "..", ControlFont::Verdana, 2},
    {"Label3", ControlKind::Label, 32, 88, 105, 13, "Output file (*.img)", ControlFont::Verdana,
     -1},
    {"Edit2", ControlKind::Edit, 152, 84, 417, 21, "", ControlFont::Verdana, 3},
    {"Button3", ControlKind::Button, 584, 82, 25, 25, "..", ControlFont::Verdana, 4},
    {"Button1", ControlKind::Button, 16, 120, 153, 25, "Make Kova image", ControlFont::Verdana, 0},
    {"Label6", ControlKind::Label, 8, 160, 267, 13,
     "Wildcards * and ? are allowed in input file box.", ControlFont::Verdana, -1},
    {"Label14", ControlKind::Label, 442, 160, 168, 13, "Info : " KOVA_CONTACT_EMAIL,
     ControlFont::Verdana, -1},
    {"FileListBox1", ControlKind::FileList, 232, 48, 121, 65, "", ControlFont::None, 5},
}};

FormPaths FormPaths::FromProcess() {
  return {SettingsFilePath(ProgramPath()), ShippedTemplatePath(), CurrentDirectory()};
}

std::string ApplicationTitle(const std::string& program_path) {
  std::string title = FileNameOf(program_path);
  title = title.substr(0, title.find('.'));
  for (std::size_t i = 1; i < title.size(); ++i) {
    // ASCII letters only: other bytes may belong to multi-byte characters.
    char& c = title[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return title;
}

// --- Drops --------------------------------------------------------------------

namespace {

bool IsFolder(const fs::path& path) {
  std::error_code ec;
  return fs::is_directory(path, ec);
}

fs::path FullName(const std::string& path) {
  std::error_code ec;
  const fs::path full = fs::absolute(FileSystemPath(path), ec);
  fs::path clean = (ec ? FileSystemPath(path) : full).lexically_normal();
  // "/data/series/" names the folder "/data/series".
  if (!clean.has_filename() && clean.has_parent_path() && clean != clean.root_path()) {
    clean = clean.parent_path();
  }
  return clean;
}

std::string Lower(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

// The mask that matches files like `name`: "*.EXT", or the name itself when
// it has no extension.
std::string MaskFor(const fs::path& name) {
  const std::string extension = Utf8Path(name.extension());
  return extension.empty() || extension == "." ? Utf8Path(name.filename()) : "*" + extension;
}

// The masks of the input kinds, in the order they are offered.
constexpr std::array<const char*, 6> kInputMasks{"*.asc", "*.tif", "*.tiff",
                                                 "*.nc",  "*.nc4", "*.cdf"};

// "FOLDER/MASK1;MASK2..." (the masks after the first share its folder).
std::string PatternOf(const fs::path& folder, const std::vector<std::string>& masks) {
  std::string pattern = Utf8Path(folder / FileSystemPath(masks.front()));
  for (std::size_t i = 1; i < masks.size(); ++i) pattern += ";" + masks[i];
  return pattern;
}

void AddMask(std::vector<std::string>& masks, const std::string& mask) {
  const auto same = [&mask](const std::string& known) { return Lower(known) == Lower(mask); };
  if (std::none_of(masks.begin(), masks.end(), same)) masks.push_back(mask);
}

// The masks of the input kinds a folder holds; the grids' when it holds none.
std::vector<std::string> InputMasksOf(const fs::path& folder) {
  std::vector<bool> present(kInputMasks.size(), false);
  std::error_code ec;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string mask = Lower(MaskFor(it->path().filename()));
    for (std::size_t i = 0; i < kInputMasks.size(); ++i) {
      if (mask == kInputMasks[i]) present[i] = true;
    }
  }
  std::vector<std::string> masks;
  for (std::size_t i = 0; i < kInputMasks.size(); ++i) {
    if (present[i]) masks.push_back(kInputMasks[i]);
  }
  if (masks.empty()) masks.push_back(kInputMasks.front());
  return masks;
}

}  // namespace

std::optional<std::string> InputTextForDrop(const std::vector<std::string>& paths) {
  if (paths.empty()) return std::nullopt;
  const fs::path first = FullName(paths.front());
  if (IsFolder(first)) return PatternOf(first, InputMasksOf(first));
  if (paths.size() == 1) return Utf8Path(first);
  // Several files: the run takes them as a pattern of their folder (the
  // first file's, when they lie in several).
  std::vector<std::string> masks;
  for (const std::string& path : paths) {
    const fs::path file = FullName(path);
    if (!IsFolder(file)) AddMask(masks, MaskFor(file.filename()));
  }
  return PatternOf(first.parent_path(), masks);
}

std::optional<std::string> OutputTextForDrop(const std::vector<std::string>& paths) {
  for (const std::string& path : paths) {
    const fs::path file = FullName(path);
    if (!IsFolder(file)) return Utf8Path(file);
  }
  return std::nullopt;
}

// --- The preview --------------------------------------------------------------

FormPreview PreviewOf(const std::string& image_path) {
  const ImageRaster image = ReadImageRaster(image_path);
  // The largest size that fits the panel, at most four times the image.
  const int longest = std::max(image.columns(), image.rows());
  const double fit = std::min({static_cast<double>(kPreviewWidth) / image.columns(),
                               static_cast<double>(kPreviewHeight) / image.rows(), 4.0});
  PreviewOptions options;
  options.size = std::max(1, static_cast<int>(longest * fit));

  FormPreview preview{RenderPreview(image, options), {}};
  const ValueRange range = ValueRangeOf(image);
  preview.info = FileNameOf(image_path) + ": " + std::to_string(image.columns()) + " x " +
                 std::to_string(image.rows()) + " pixels, " +
                 (range.valid ? "values " + range.low + " to " + range.high : "no values");
  return preview;
}

// --- The window ---------------------------------------------------------------

FormLogic::FormLogic(FormView& view, TKovaImg& image, FormPaths paths,
                     std::string application_title)
    : view_(view),
      paths_(std::move(paths)),
      converter_(image,
                 ConversionSettings{paths_.template_path, paths_.settings_path, kImageGridLimits},
                 paths_.list_directory),
      application_title_(std::move(application_title)) {}

void FormLogic::Guarded(void (FormLogic::*handler)()) {
  try {
    (this->*handler)();
  } catch (const std::exception& error) {
    view_.ShowErrorBox(application_title_, ErrorBoxText(error));
  }
}

void FormLogic::FormCreate() {
  // Grid numbers are read with "." whatever the locale, so nothing needs to
  // be switched here.
  view_.SetBoxText(FormView::Box::Input, ReadProfileString(paths_.settings_path, "files", "edit1"));
  view_.SetBoxText(FormView::Box::Output,
                   ReadProfileString(paths_.settings_path, "files", "edit2"));
}

void FormLogic::Button1Click() {
  converter_.Run(view_.BoxText(FormView::Box::Input), view_.BoxText(FormView::Box::Output));
  if (!converter_.CreatedImages().empty()) {
    view_.ShowPreview(PreviewOf(converter_.CreatedImages().back()));
  }
}

void FormLogic::Button2Click() {
  Browse(FormView::Box::Input);
}

void FormLogic::Button3Click() {
  Browse(FormView::Box::Output);
}

void FormLogic::Label5Click() {
  view_.OpenAddress(kDownloadAddress);
}

void FormLogic::Label5MouseMove() {
  view_.SetCursor(CursorKind::Hand);
}

void FormLogic::Label5MouseLeave() {
  view_.SetCursor(CursorKind::Default);
}

void FormLogic::Browse(FormView::Box box) {
  const std::optional<std::string> chosen = view_.ChooseFile(dialog_name_);
  if (!chosen) return;
  const fs::path full_name = FullName(*chosen);
  dialog_name_ = Utf8Path(full_name);
  SetCurrentDirectory(Utf8Path(full_name.parent_path()));
  view_.SetBoxText(box, dialog_name_);
}

bool FormLogic::Drop(FormView::Box box, const std::vector<std::string>& paths) {
  const std::optional<std::string> text =
      box == FormView::Box::Output ? OutputTextForDrop(paths) : InputTextForDrop(paths);
  if (!text) return false;
  view_.SetBoxText(box, *text);
  view_.FocusBox(box);
  return true;
}

}  // namespace kova
