// Root of the class library's object model.
#pragma once

#include <functional>
#include <string>

#include <vcl/export.h>

class QVCL_API TObject {
 public:
  TObject() = default;
  TObject(const TObject&) = delete;
  TObject& operator=(const TObject&) = delete;
  virtual ~TObject() = default;
  // Class name as the library reports it ("TForm", "TsuiComboBox", ...).
  virtual std::string ClassName() const { return "TObject"; }
};

// Objects whose published state can be copied onto another (fonts, pens, pictures).
class QVCL_API TPersistent : public TObject {
 public:
  std::string ClassName() const override { return "TPersistent"; }
  virtual void Assign(TPersistent* source);  // raises EConvertError when unsupported
 protected:
  virtual void AssignTo(TPersistent* dest);
};

using TNotifyEvent = std::function<void(TObject* sender)>;
