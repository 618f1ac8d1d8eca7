# PE layout of the installer executable.
#
# orvek_fixup_pe_layout(target)
#   After `target` (a Windows executable) links, moves its PE headers from the
#   linker's offset 128 to 256 so that the installer fields at 128..142 fit,
#   makes sure nothing follows the last section (links with -s; the tool drops
#   a COFF symbol table it still finds) and recomputes the CheckSum. The
#   native tool comes from tools/pe (orvek-pe-layout), built first.

function(orvek_fixup_pe_layout target)
  orvek_host_tool(layout_tool tools/pe orvek-pe-layout)
  if(TARGET host_tools)
    add_dependencies(${target} host_tools)
  elseif(TARGET orvek-pe-layout)
    add_dependencies(${target} orvek-pe-layout)
  endif()
  target_link_options(${target} PRIVATE -s)
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${layout_tool} $<TARGET_FILE:${target}>
    COMMENT "Laying out ${target} for the installer fields"
    VERBATIM)
endfunction()
