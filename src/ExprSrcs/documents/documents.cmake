# List files as ${CMAKE_CURRENT_LIST_DIR}/Name.cpp.
target_sources(kv_app PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/Documents.cpp
)

# The Examples library goes into the preferences folder beside the built program, where the
# Example Library command finds it when the user's own preferences folder has none. mkexamples
# writes every example from the trees built in tools/mkexamples/ExampleTrees.cpp, and the
# exported files from the same trees.
set(KV_EXAMPLES_FOLDER ${CMAKE_CURRENT_BINARY_DIR}/Korvaline_Prefs/Examples)
# The stamp lies outside the folder, which is copied whole into the user's preferences folder.
set(KV_EXAMPLES_STAMP ${CMAKE_CURRENT_BINARY_DIR}/Examples.written)
add_custom_command(OUTPUT ${KV_EXAMPLES_STAMP}
                   COMMAND ${CMAKE_COMMAND} -E remove_directory ${KV_EXAMPLES_FOLDER}
                   COMMAND mkexamples ${KV_EXAMPLES_FOLDER} ${CMAKE_BINARY_DIR}/src/Korvaline_Prefs
                   COMMAND ${CMAKE_COMMAND} -E touch ${KV_EXAMPLES_STAMP}
                   DEPENDS mkexamples
                   COMMENT "Writing the Examples library")
add_custom_target(kv_examples_folder ALL DEPENDS ${KV_EXAMPLES_STAMP})
# The MathML export is written with the shipped MathML translator.
add_dependencies(kv_examples_folder kv_translators)
