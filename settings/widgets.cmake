# Dialogs of this folder; they join the widgets library defined in app/.
target_sources(kaviro_widgets PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/connectionstringdialog.cpp
  ${CMAKE_CURRENT_LIST_DIR}/connectionstringdialog.ui
  ${CMAKE_CURRENT_LIST_DIR}/optionsdialog.cpp
  ${CMAKE_CURRENT_LIST_DIR}/optionsdialog.ui)
