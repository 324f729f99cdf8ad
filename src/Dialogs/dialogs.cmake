# List files as ${CMAKE_CURRENT_LIST_DIR}/Name.cpp.
target_sources(kv_app PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/ChooseExampleDialog.cpp
  ${CMAKE_CURRENT_LIST_DIR}/TranslatorDialogs.cpp
  ${CMAKE_CURRENT_LIST_DIR}/DialogFrame.cpp
  ${CMAKE_CURRENT_LIST_DIR}/InsertExpressionDialog.cpp
  ${CMAKE_CURRENT_LIST_DIR}/CustomizePaletteDialogs.cpp
  ${CMAKE_CURRENT_LIST_DIR}/KeyboardDialogs.cpp
  ${CMAKE_CURRENT_LIST_DIR}/MacroDefinitionsDialog.cpp
  ${CMAKE_CURRENT_LIST_DIR}/FontStyleDialog.cpp
  ${CMAKE_CURRENT_LIST_DIR}/FontCommandDialogs.cpp
  ${CMAKE_CURRENT_LIST_DIR}/HelpScreens.cpp
  ${CMAKE_CURRENT_LIST_DIR}/HelpTours.cpp
  ${CMAKE_CURRENT_LIST_DIR}/MatrixDialogs.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ModifyDialogs.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ModifyTemplateDialogs.cpp
  ${CMAKE_CURRENT_LIST_DIR}/OutputPrefsDialogs.cpp
  ${CMAKE_CURRENT_LIST_DIR}/PictureDialogs.cpp
  ${CMAKE_CURRENT_LIST_DIR}/PicturePrefsDialogs.cpp
  ${CMAKE_CURRENT_LIST_DIR}/PopupCombo.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SecondaryCommandDialog.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SetupWizard.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SmallDialogs.cpp
  ${CMAKE_CURRENT_LIST_DIR}/TargetPrefsDialogs.cpp
  ${CMAKE_CURRENT_LIST_DIR}/TypesettingDialogs.cpp
)
