list(APPEND TESSAVO_GUI_SOURCES
  ui/about_window_host.h ui/about_window_host.cpp
)

set(tessavo_ui_qml
  Main.qml
  FileRow.qml
  StatusIndicator.qml
  AboutView.qml
  AboutWindow.qml
  TextStyle.qml
  Contrast.qml
)
set(tessavo_ui_icons
  plus.svg
  minus.svg
  arrow_right_circle.svg
  clock.svg
  checkmark_circle.svg
  xmark_circle.svg
  spinner.svg
  app_icon.svg
)

# The files sit at the root of the module's resources: a QML file in a
# subfolder would import that folder implicitly and see TextStyle as a plain
# type instead of the module's singleton.
set_source_files_properties(ui/TextStyle.qml ui/Contrast.qml PROPERTIES QT_QML_SINGLETON_TYPE TRUE)
foreach(file IN LISTS tessavo_ui_qml)
  set_source_files_properties(ui/${file} PROPERTIES QT_RESOURCE_ALIAS ${file})
  list(APPEND TESSAVO_QML_FILES ui/${file})
endforeach()
foreach(file IN LISTS tessavo_ui_icons)
  set_source_files_properties(ui/icons/${file} PROPERTIES QT_RESOURCE_ALIAS icons/${file})
  list(APPEND TESSAVO_QML_RESOURCES ui/icons/${file})
endforeach()
