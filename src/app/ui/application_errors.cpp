#include "app/ui/application_errors.h"

#include <QString>

#include <exception>
#include <new>

#include "app/ui/modal_ui.h"
#include "platform/errors.h"

namespace tagsmith {

bool RunGuarded(QWidget* parent, const std::function<void()>& body) {
  QString message;
  try {
    body();
    return true;
  } catch (const Exception& e) {
    message = QString::fromUtf8(e.what());
  } catch (const std::bad_alloc&) {
    message = QStringLiteral("Out of memory");
  } catch (const std::exception& e) {
    message = QString::fromUtf8(e.what());
  } catch (...) {
    message = QStringLiteral("An unexpected error occurred");
  }
  if (message.isEmpty()) message = QStringLiteral("An unexpected error occurred");
  // Shown outside the handler, so the box's event loop never runs with an
  // exception in flight.
  ModalUi().ShowError(parent, message);
  return false;
}

}  // namespace tagsmith
