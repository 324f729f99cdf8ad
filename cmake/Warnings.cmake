# Warnings and sanitizers for the project's own code. kv_add_warnings(target) is called on every
# target built from our sources; generated tables are compiled with the same flags. The code stays
# warning-free with GCC and clang at every optimisation level; KV_WERROR (CI turns it on) makes a
# warning fail the build.
option(KV_WERROR "Treat compiler warnings as errors" OFF)

function(kv_add_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wno-missing-field-initializers)
  if(KV_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()

if(KV_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()
