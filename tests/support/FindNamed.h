#pragma once
// The one child of Parent (at any depth) of type T with the object name
// Name. Tests reach a window's widgets and actions this way, as a user finds
// them, never through its members. None, or more than one, is a fault of the
// test or of the window: it throws, and the test fails naming the widget.
#include <QList>
#include <QObject>
#include <QString>

#include <stdexcept>
#include <string>

namespace testsupport {

template <class T>
T* FindNamed(const QObject& Parent, const char* Name)
{
    const QList<T*> found = Parent.findChildren<T*>(QString::fromLatin1(Name));
    if (found.size() != 1)
        throw std::logic_error(std::to_string(found.size()) + " children named " + Name + " under "
                               + Parent.objectName().toStdString());
    return found.front();
}

} // namespace testsupport

// Short enough to read inside an assertion.
using testsupport::FindNamed;
