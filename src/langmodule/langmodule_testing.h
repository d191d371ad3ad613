// For tests only: forget the loaded module so that the next use loads LangModuleName afresh.
// The old module stays mapped, as it would for the rest of a real run.
#pragma once

void ForgetLangModule();
