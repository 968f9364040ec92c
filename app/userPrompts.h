#pragma once

// Questions put to the operator by code that must wait for the answer: the
// logic controller's error boxes and server path dialog, the confirmations of
// the main window. Boxes are always created on the UI thread; a worker that
// asks waits for the answer without blocking the UI. Tests substitute doubles.

#include <QString>

#include <functional>

enum class TBoxIcon { None, Information, Warning, Error, Question };
enum class TBoxButtons { Ok, YesNo, YesNoCancel };
// Results use the classic dialog ids so stored answers keep their meaning.
enum TBoxResult : int { BoxNone = 0, BoxOk = 1, BoxCancel = 2, BoxYes = 6, BoxNo = 7 };

struct TBoxRequest {
  QString Text;
  QString Caption;
  TBoxIcon Icon = TBoxIcon::Error;
  TBoxButtons Buttons = TBoxButtons::Ok;
  TBoxResult Default = BoxOk;
};

// Returns true when the waiting caller should give up (close requested).
using TAbandonCheck = std::function<bool()>;

class IUserPrompts {
 public:
  virtual ~IUserPrompts() = default;
  // Thread contract: any thread holding no locks. On a worker it blocks until
  // the operator answers, `abandon` returns true or shutdown begins; the box
  // is then closed and BoxNone returned.
  virtual int MessageBox(const TBoxRequest& box, const TAbandonCheck& abandon = {}) = 0;
  // Shows the server path dialog; true and the chosen path when it was closed
  // with "Connect". Same thread contract as MessageBox.
  virtual bool AskServerPath(QString& path, const TAbandonCheck& abandon = {}) = 0;
};
