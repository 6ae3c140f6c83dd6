// Helpers of the window's Qt tests: a stand-in for the desktop, the grid they
// convert, files read and written whole, and a fresh folder for each test
// function.
#pragma once

#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QUrl>
#include <deque>
#include <memory>
#include <optional>

#include "app/platform/process.h"
#include "app/window/unit1.h"

namespace kova::testing {

// Stands in for the desktop: answers the open dialog from a queue, records
// opened addresses and error boxes.
class FakeServices : public WindowServices {
 public:
  std::optional<QString> ExecuteOpenDialog(QFileDialog& dialog) override {
    offered << dialog.selectedFiles().value(0);
    std::optional<QString> answer;
    if (!answers.empty()) {
      answer.swap(answers.front());
      answers.pop_front();
    }
    return answer;
  }
  bool OpenUrl(const QUrl& url) override {
    opened << url;
    return open_result;
  }
  void ShowErrorBox(QWidget*, const QString& caption, const QString& text) override {
    error_captions << caption;
    error_texts << text;
  }

  std::deque<std::optional<QString>> answers;
  QStringList offered;
  QList<QUrl> opened;
  bool open_result = false;
  QStringList error_captions;
  QStringList error_texts;
};

// 4 x 3 cells, one missing; smallest value 0.5 (code 0), largest 10 (code 253).
inline const char kWindowGrid[] =
    "columns 4\r\nrows 3\r\nleft 10.5\r\nbottom 50.25\r\ncell 0.5\r\n"
    "nodata -9999\r\n"
    "1.5 2.5 -9999 4.0\r\n0.5 3.25 7.75 1e1\r\n6 5.5 .5 9.125\r\n";

inline bool WriteFile(const QString& path, const QByteArray& bytes) {
  QFile file(path);
  return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

inline QByteArray ReadFile(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A fresh folder for each test function (Make in init, Remove in cleanup);
// the current directory is put back after each.
class TestFolder {
 public:
  bool Make() {
    start_ = QDir::currentPath();
    temp_ = std::make_unique<QTemporaryDir>();
    return temp_->isValid();
  }
  void Remove() {
    QDir::setCurrent(start_);
    temp_.reset();
  }
  // The canonical form of the folder, as the current directory reports it.
  QString Dir() const { return QDir(temp_->path()).canonicalPath(); }
  // The settings file in the folder, the template beside the programs.
  FormPaths Paths() const {
    return {(Dir() + "/tarvo2kova.ini").toStdString(), ProgramDirectory() + "template.img",
            Dir().toStdString()};
  }
  // The current directory before the test function.
  const QString& Start() const { return start_; }

 private:
  std::unique_ptr<QTemporaryDir> temp_;
  QString start_;
};

}  // namespace kova::testing
