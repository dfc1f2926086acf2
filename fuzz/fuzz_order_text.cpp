// SPDX-License-Identifier: GPL-3.0-or-later
// The order text of "Comanda": any bytes parse into an order or are refused with a reason.
#include "FuzzSupport.h"
#include "OrderText.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz::initialise();
    OrderText order;
    QString error;
    if (!OrderText::parse(fuzz::wireText(data, size), &order, &error) && error.isEmpty())
        __builtin_trap(); // a refusal always says why
    return 0;
}
