# Qt itself is not instrumented; ThreadSanitizer reports from inside Qt are
# silenced by tests/tsan.supp, which names Qt internals only.
if(DRAVOLUX_ASAN AND DRAVOLUX_TSAN)
  message(FATAL_ERROR "DRAVOLUX_ASAN and DRAVOLUX_TSAN cannot be combined")
endif()
if(DRAVOLUX_ASAN)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()
if(DRAVOLUX_TSAN)
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
endif()
