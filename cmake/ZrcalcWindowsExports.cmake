# The Windows export definition of this build: the names of the full definition
# (include/zrcalc-avx2fma3.def, every name with its fixed ordinal) whose entry
# points the table (src/frame/entry_table.h) marks BUILT. A DLL can export only
# what it contains; an ordinal never moves when more entry points are built.
#
# In COFF a stdcall function is the symbol _name@bytes. Each stdcall export is
# therefore bound to its symbol explicitly:
#   zrcalcGetVersion = zrcalcGetVersion@16 @49              plain stdcall name
#   _zrcalcPowerCalculatePosAndNegEnergy@20 = zrcalcPowerCalculatePosAndNegEnergy@20 @N
#                                                           decorated export name
#   zrcalcChannelGetScaledValuesAtPos_double_aligned_output = zrcalcChannelGetScaledValuesAtPos_double@4 @N
#                                                           alias: the same code
# and cdecl names (twins, cdecl-only operations) stand for themselves.
function(zrcalc_generate_windows_def table_file full_def_file out_file)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${table_file} ${full_def_file})
  file(READ ${table_file} table)

  # name -> the line that exports it, for every name of a BUILT entry point.
  set(names "")
  string(REGEX MATCHALL
    "ZRCALC_ENTRY\\([ ]*[A-Za-z0-9_]+[ ]*,[ ]*(BOTH|CDECL_ONLY|DECORATED|DECORATED_TWIN)[ ]*,[ ]*[0-9]+[ ]*,[ ]*(BUILT|PLANNED)[ ]*\\)"
    rows "${table}")
  foreach(row ${rows})
    string(REGEX REPLACE "ZRCALC_ENTRY\\(([^)]*)\\)" "\\1" fields "${row}")
    string(REPLACE " " "" fields "${fields}")
    string(REPLACE "," ";" fields "${fields}")
    list(GET fields 0 name)
    list(GET fields 1 kind)
    list(GET fields 2 bytes)
    list(GET fields 3 state)
    set(zrcalc_bytes_${name} ${bytes})
    set(zrcalc_state_${name} ${state})
    if(kind STREQUAL "BOTH")
      set(line_${name} "${name} = ${name}@${bytes}")
      set(line_${name}_cdecl "${name}_cdecl")
      list(APPEND entry_names ${name} ${name}_cdecl)
    elseif(kind STREQUAL "CDECL_ONLY")
      set(line_${name} "${name}")
      list(APPEND entry_names ${name})
    elseif(kind STREQUAL "DECORATED")
      set(line__${name}@${bytes} "_${name}@${bytes} = ${name}@${bytes}")
      list(APPEND entry_names _${name}@${bytes})
      set(owner__${name}@${bytes} ${name})
    else() # DECORATED_TWIN
      set(line__${name}@${bytes} "_${name}@${bytes} = ${name}@${bytes}")
      set(line_${name}_cdecl "${name}_cdecl")
      list(APPEND entry_names _${name}@${bytes} ${name}_cdecl)
      set(owner__${name}@${bytes} ${name})
    endif()
    foreach(export ${name} ${name}_cdecl)
      if(NOT DEFINED owner_${export})
        set(owner_${export} ${name})
      endif()
    endforeach()
  endforeach()

  string(REGEX MATCHALL "ZRCALC_ALIAS\\([ ]*[A-Za-z0-9_]+[ ]*,[ ]*[A-Za-z0-9_]+[ ]*,[ ]*(BUILT|PLANNED)[ ]*\\)"
    alias_rows "${table}")
  foreach(row ${alias_rows})
    string(REGEX REPLACE "ZRCALC_ALIAS\\(([^)]*)\\)" "\\1" fields "${row}")
    string(REPLACE " " "" fields "${fields}")
    string(REPLACE "," ";" fields "${fields}")
    list(GET fields 0 alias)
    list(GET fields 1 target)
    if(NOT DEFINED zrcalc_bytes_${target})
      message(FATAL_ERROR "${table_file}: alias ${alias} of ${target}, which is no entry of the table")
    endif()
    set(line_${alias} "${alias} = ${target}@${zrcalc_bytes_${target}}")
    set(line_${alias}_cdecl "${alias}_cdecl = ${target}_cdecl")
    set(owner_${alias} ${target})
    set(owner_${alias}_cdecl ${target})
    list(APPEND entry_names ${alias} ${alias}_cdecl)
  endforeach()
  if(NOT entry_names)
    message(FATAL_ERROR "${table_file}: no entry points found")
  endif()

  # Walk the full definition; every name in it must come from the table and
  # every name of the table must be in it.
  file(STRINGS ${full_def_file} def_lines)
  set(out "")
  set(listed "")
  foreach(line ${def_lines})
    if(line MATCHES "^LIBRARY " OR line STREQUAL "EXPORTS")
      string(APPEND out "${line}\n")
      continue()
    endif()
    if(NOT line MATCHES "^[ \t]+([^ \t]+) @([0-9]+)$")
      message(FATAL_ERROR "${full_def_file}: unexpected line '${line}'")
    endif()
    set(export ${CMAKE_MATCH_1})
    set(ordinal ${CMAKE_MATCH_2})
    if(NOT DEFINED line_${export})
      message(FATAL_ERROR "${full_def_file}: ${export} is no name of the table of entry points")
    endif()
    list(APPEND listed ${export})
    if(zrcalc_state_${owner_${export}} STREQUAL "BUILT")
      string(APPEND out "    ${line_${export}} @${ordinal}\n")
    endif()
  endforeach()
  foreach(export ${entry_names})
    if(NOT export IN_LIST listed)
      message(FATAL_ERROR "${full_def_file}: ${export} of the table of entry points is missing")
    endif()
  endforeach()

  # Rewritten only when it changes, so that reconfiguring does not relink.
  set(previous "")
  if(EXISTS ${out_file})
    file(READ ${out_file} previous)
  endif()
  if(NOT previous STREQUAL out)
    file(WRITE ${out_file} "${out}")
  endif()
endfunction()
