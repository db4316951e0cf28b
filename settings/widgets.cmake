# Dialogs of this folder; they join the dialogs library (top CMakeLists.txt).
target_sources(kaviro_dialogs PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/connectionstringdialog.cpp
  ${CMAKE_CURRENT_LIST_DIR}/connectionstringdialog.ui
  ${CMAKE_CURRENT_LIST_DIR}/optionsdialog.cpp
  ${CMAKE_CURRENT_LIST_DIR}/optionsdialog.ui)
