# Writes vantis-pack's manual page from its help texts: the overview, then each command's
# --help as it prints it. Run as a script: cmake -DTOOL=... -DOUTPUT=... -DVERSION=...
# -DRELEASE_DATE=... -DPROGRAM_DIR=... -P ManPage.cmake

function(help_of variable)
  execute_process(COMMAND ${TOOL} ${ARGN} --help OUTPUT_VARIABLE text RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "${TOOL} ${ARGN} --help failed: ${status}")
  endif()
  set(${variable} "${text}" PARENT_SCOPE)
endfunction()

# Text shown as it is: backslashes and minus signs escaped, and no line may start a request.
function(roff_literal variable text)
  string(REPLACE "\\" "\\e" text "${text}")
  string(REPLACE "-" "\\-" text "${text}")
  string(REGEX REPLACE "(^|\n)([.'])" "\\1\\\\&\\2" text "${text}")
  set(${variable} ".nf\n${text}.fi\n" PARENT_SCOPE)
endfunction()

help_of(overview)
roff_literal(overview_roff "${overview}")
set(page ".TH VANTIS\\-PACK 1 \"${RELEASE_DATE}\" \"vantis\\-pack ${VERSION}\" \"User Commands\"
.SH NAME
vantis\\-pack \\- build and inspect Vantis patch installers
.SH SYNOPSIS
.B vantis\\-pack
.I COMMAND
[\\fIARGUMENTS\\fR]
.br
.B vantis\\-pack
\\fB\\-\\-help\\fR | \\fB\\-\\-version\\fR
.SH DESCRIPTION
${overview_roff}.SH COMMANDS
")
foreach(command build diff list verify extract)
  help_of(text ${command})
  roff_literal(text_roff "${text}")
  string(APPEND page ".SS ${command}\n${text_roff}")
endforeach()
string(APPEND page ".SH FILES
.TP
.I ${PROGRAM_DIR}/vantis\\-installer.exe
the installer program that build and diff append the package to when no \\fB\\-\\-stub\\fR
is given (found relative to the vantis\\-pack program, so an installed tree can move), or
\\fIvantis\\-installer.exe\\fR beside the program
.SH SEE ALSO
.BR sha256sum (1),
.BR osslsigncode (1);
the README and the package format document installed with vantis\\-pack.
")
string(REPLACE "-" "\\-" escaped_dir "${PROGRAM_DIR}")
string(REPLACE "${PROGRAM_DIR}/vantis\\-installer" "${escaped_dir}/vantis\\-installer" page "${page}")
file(WRITE ${OUTPUT} "${page}")
