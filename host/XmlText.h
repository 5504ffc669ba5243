#pragma once
// The text of a DOM document as Qt's DOM writes it (two spaces a level), but with
// each element's attributes in the order of their names. The DOM keeps them in a
// hash whose order changes from one run of the program to the next, so that the
// same document would come out as different bytes.

#include <QDomNode>
#include <QString>

namespace kelto::host {

QString xmlText(const QDomNode& document);

} // namespace kelto::host
