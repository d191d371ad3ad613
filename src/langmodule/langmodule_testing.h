// For tests only: forget the loaded module so that the next use loads LangModuleName afresh.
// The old module stays mapped, as it would for the rest of a real run.
#pragma once

void ForgetLangModule();

// The program's own English text of a control it adds to the template when the module's template
// lacks it (AddMissingControls), the text a module without the control's string gets; null for
// a control it never adds.
const char* BuiltInControlText(unsigned templateId, int controlId);
