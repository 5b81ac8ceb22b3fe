# Sanitizer builds: -DTARVENN_SANITIZE=address,undefined (any list that -fsanitize= takes).
# Empty, the default, builds without instrumentation.
set(TARVENN_SANITIZE "" CACHE STRING "Comma-separated sanitizers for -fsanitize= (empty: none)")

# Instruments `target` with the sanitizers named in TARVENN_SANITIZE. Undefined behaviour stops
# the process at its first report instead of printing and going on, so that a test run or a fuzz
# run cannot pass over one. The frame pointer is kept for readable stack traces.
function(tarvenn_apply_sanitizers target)
  if(TARVENN_SANITIZE STREQUAL "")
    return()
  endif()
  set(flags -fsanitize=${TARVENN_SANITIZE} -fno-omit-frame-pointer -g)
  if(TARVENN_SANITIZE MATCHES "undefined")
    list(APPEND flags -fno-sanitize-recover=undefined)
  endif()
  target_compile_options(${target} PRIVATE ${flags})
  # A static library's link options travel to whatever links it.
  get_target_property(kind ${target} TYPE)
  if(kind STREQUAL "STATIC_LIBRARY")
    target_link_options(${target} INTERFACE -fsanitize=${TARVENN_SANITIZE})
  else()
    target_link_options(${target} PRIVATE -fsanitize=${TARVENN_SANITIZE})
  endif()
endfunction()
