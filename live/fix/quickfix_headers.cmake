# Copies QuickFIX's installed headers into OUT_DIR/quickfix with their non-empty dynamic
# exception specifications ("throw ( ConfigError )") removed: C++17 rejects them, and they are
# not part of the library's ABI, so the copy links with the installed library unchanged.
# "throw()" stays. Files are rewritten only when their content changes, so a reconfigure does
# not rebuild everything that includes them.
function(kmr_quickfix_headers source_dir out_dir)
  file(GLOB_RECURSE headers RELATIVE ${source_dir} ${source_dir}/*.h)
  foreach(header ${headers})
    file(READ ${source_dir}/${header} text)
    string(REGEX REPLACE "throw[ \t\r\n]*\\([ \t\r\n]*[A-Za-z_:][^)]*\\)" "" text "${text}")
    set(target ${out_dir}/quickfix/${header})
    file(WRITE ${target}.new "${text}")
    file(COPY_FILE ${target}.new ${target} ONLY_IF_DIFFERENT)
    file(REMOVE ${target}.new)
  endforeach()
endfunction()
