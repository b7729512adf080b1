# Configures the fixture for one case and checks that configuring fails,
# naming the offending link, exactly when the case breaks the rule.
# -DCASE=clean|direct|indirect -DFIXTURE=... -DRULE_FILE=... -DWORK=...
file(REMOVE_RECURSE ${WORK}/${CASE})
execute_process(
  COMMAND ${CMAKE_COMMAND} -S ${FIXTURE} -B ${WORK}/${CASE} -G Ninja -DCASE=${CASE} -DRULE_FILE=${RULE_FILE}
  RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE err)
set(text "${out}${err}")
if(CASE STREQUAL "clean")
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "a logic library on Qt Core alone was refused:\n${text}")
  endif()
else()
  if(result EQUAL 0)
    message(FATAL_ERROR "a logic library that links ${CASE}ly to Qt Widgets was accepted")
  endif()
  if(NOT text MATCHES "logic links (Qt6::Widgets|widgets)")
    message(FATAL_ERROR "configuring failed without naming the link:\n${text}")
  endif()
endif()
