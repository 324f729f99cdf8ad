# Warnings and sanitizers for the project's own code. kv_add_warnings(target) is called on every
# target built from our sources; generated tables are compiled with the same flags.
function(kv_add_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Werror -Wno-missing-field-initializers)
endfunction()

if(KV_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()
