#include "FuncList.h"

TByRefSet ByRefPositions(std::initializer_list<int> positions)
{
    TByRefSet set;
    for (int p : positions)
        if (p >= 0 && p < int(set.size()))
            set.set(size_t(p));
    return set;
}

TFunc::TFunc(const QString &name, int argCount, TFuncImpl implementation, TByRefSet byRefSet,
             const QString &description)
    : m_name(name.toUpper()),
      m_argCount(argCount),
      m_implementation(std::move(implementation)),
      m_byRefSet(byRefSet),
      m_description(description)
{
}

TFunc::~TFunc() = default;

bool TFunc::IsByRef(int position) const
{
    const bool inSet = position >= 0 && position <= 255 && m_byRefSet.test(size_t(position));
    return inSet != m_byRefSet.test(255);
}

TFunc *TCustomFuncList::FindFunc(const QString &name) const
{
    const QString key = name.toUpper();
    return FirstThat([&key](const TFunc &f) { return f.Name() == key; });
}
