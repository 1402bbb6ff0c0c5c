#include "DispatchObject.h"

TDispatchObject::~TDispatchObject() = default;
