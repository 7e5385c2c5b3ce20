#include "ModalWindow.h"

#include <core/LocalWait.h>

#include <QDialog>

int ExecModal(QDialog &dialog)
{
    NoNestedWaits::Check("A modal window");
    return dialog.exec();
}
