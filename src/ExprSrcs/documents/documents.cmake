# List files as ${CMAKE_CURRENT_LIST_DIR}/Name.cpp.
target_sources(kv_app PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/Documents.cpp
)

# The Examples library goes into the preferences folder beside the built program, where the
# Example Library command finds it when the user's own preferences folder has none.
set(KV_EXAMPLES_SOURCE ${CMAKE_SOURCE_DIR}/resources/Korvaline_Prefs/Examples)
set(KV_EXAMPLES_FILES
  ${KV_EXAMPLES_SOURCE}/01_Algebra/01_Quadratic_formula.exp
  ${KV_EXAMPLES_SOURCE}/01_Algebra/02_Binomial_square.exp
  ${KV_EXAMPLES_SOURCE}/02_Calculus/01_Definite_integral.exp
  ${KV_EXAMPLES_SOURCE}/02_Calculus/02_Limit.exp
  ${KV_EXAMPLES_SOURCE}/03_Matrices/01_Determinant.exp
)
set(KV_EXAMPLES_OUTPUTS)
foreach(example_file IN LISTS KV_EXAMPLES_FILES)
  file(RELATIVE_PATH example_rel ${KV_EXAMPLES_SOURCE} ${example_file})
  set(example_out ${CMAKE_CURRENT_BINARY_DIR}/Korvaline_Prefs/Examples/${example_rel})
  add_custom_command(OUTPUT ${example_out}
                     COMMAND ${CMAKE_COMMAND} -E copy_if_different ${example_file} ${example_out}
                     DEPENDS ${example_file}
                     COMMENT "Copying Korvaline_Prefs/Examples/${example_rel}")
  list(APPEND KV_EXAMPLES_OUTPUTS ${example_out})
endforeach()
add_custom_target(kv_examples_folder ALL DEPENDS ${KV_EXAMPLES_OUTPUTS})
