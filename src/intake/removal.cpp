#include "model/content_view.h"

namespace tessavo {

void ContentView::removeSelectedImages()
{
    m_files->removeFiles(m_selected);
    clearSelection();
}

} // namespace tessavo
