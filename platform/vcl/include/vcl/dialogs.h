// The save dialog: our own modal window over the file system, with folders, a
// filter, a default extension, and a question before an existing file is replaced.
#pragma once

#include <string>
#include <vector>

#include <vcl/export.h>
#include <vcl/forms.h>

class QVCL_API TCommonDialog : public TComponent {
 public:
  explicit TCommonDialog(TComponent* owner) : TComponent(owner) {}
  std::string ClassName() const override { return "TCommonDialog"; }
  // Shows the dialog modally; true when the user confirmed it.
  virtual bool Execute() = 0;
  std::string Title;
  TNotifyEvent OnShow;
  TNotifyEvent OnClose;
};

class QVCL_API TSaveDialog : public TCommonDialog {
 public:
  explicit TSaveDialog(TComponent* owner) : TCommonDialog(owner) {}
  std::string ClassName() const override { return "TSaveDialog"; }
  bool Execute() override;

  // The chosen file (full path) after Execute; before it, the proposed one.
  std::string FileName;
  // The folder the dialog opens in (empty: the proposed file's, else the current one).
  std::string InitialDir;
  // Added with a dot to a name typed without an extension.
  std::string DefaultExt;
  // "Description|pattern;pattern|Description|pattern...", patterns matched in any case.
  std::string Filter;
  int FilterIndex = 1;  // one-based

  // The filter as (description, patterns) pairs.
  static std::vector<std::pair<std::string, std::vector<std::string>>> ParseFilter(const std::string& filter);
  // The path the dialog makes of a typed name in a folder (default extension added
  // when the name has none).
  static std::string ResolveName(const std::string& folder, const std::string& typed, const std::string& defaultExt);
};
