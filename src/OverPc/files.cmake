# List files as ${CMAKE_CURRENT_LIST_DIR}/Name.cpp.
target_sources(kv_framework PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/PFILE.cpp
)

# The shipped preferences folder goes next to the built program, where the first run copies it
# from into the user's data folder.
set(KV_PREFS_SOURCE ${CMAKE_SOURCE_DIR}/resources/Korvaline_Prefs)
set(KV_PREFS_FILES ${KV_PREFS_SOURCE}/README.txt)
set(KV_PREFS_OUTPUTS)
foreach(prefs_file IN LISTS KV_PREFS_FILES)
  file(RELATIVE_PATH prefs_rel ${KV_PREFS_SOURCE} ${prefs_file})
  set(prefs_out ${CMAKE_CURRENT_BINARY_DIR}/Korvaline_Prefs/${prefs_rel})
  add_custom_command(OUTPUT ${prefs_out}
                     COMMAND ${CMAKE_COMMAND} -E copy_if_different ${prefs_file} ${prefs_out}
                     DEPENDS ${prefs_file}
                     COMMENT "Copying Korvaline_Prefs/${prefs_rel}")
  list(APPEND KV_PREFS_OUTPUTS ${prefs_out})
endforeach()
# The preference files are written from the default tables by the prefsgen tool.
set(KV_PREFS_GENERATED ${CMAKE_CURRENT_BINARY_DIR}/Korvaline_Prefs/general.prf
                       ${CMAKE_CURRENT_BINARY_DIR}/Korvaline_Prefs/keys.prf
                       ${CMAKE_CURRENT_BINARY_DIR}/Korvaline_Prefs/function.txt)
add_custom_command(OUTPUT ${KV_PREFS_GENERATED}
                   COMMAND prefsgen ${CMAKE_CURRENT_BINARY_DIR}/Korvaline_Prefs
                   DEPENDS prefsgen
                   COMMENT "Writing the default preference files")
list(APPEND KV_PREFS_OUTPUTS ${KV_PREFS_GENERATED})
add_custom_target(kv_prefs_folder ALL DEPENDS ${KV_PREFS_OUTPUTS})
