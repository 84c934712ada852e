list(APPEND TESSAVO_GUI_SOURCES
  platform/file_dialogs.h platform/file_dialogs.cpp
  platform/folder_reveal.h platform/folder_reveal.cpp
  platform/bookmark_store.h platform/bookmark_store.cpp
  platform/services.h
  platform/desktop_services.h platform/desktop_services.cpp
)
