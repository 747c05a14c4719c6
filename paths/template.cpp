#include "paths/template.h"

#include "paths/environment.h"

// Placeholder until the expansion lands: the template is taken literally.
bool expandTemplatePath(wchar_t* output, const wchar_t* templateText, size_t capacity) {
  output[0] = L'\0';
  appendWideBounded(output, capacity, templateText);
  return true;
}
