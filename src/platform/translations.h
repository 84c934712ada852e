#pragma once

#include <QLocale>

namespace tessavo {

// Installs Tessavo's translation for `locale`, and Qt's own for its dialogs
// and standard buttons, when there is one; English needs none. Looks in the
// installed data folder beside the program, then in the build tree, so an
// uninstalled build speaks the same language. Call once, before any window.
void installTranslations(const QLocale& locale);

} // namespace tessavo
