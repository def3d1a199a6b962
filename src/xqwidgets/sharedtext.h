#ifndef XQWIDGETS_SHAREDTEXT_H
#define XQWIDGETS_SHAREDTEXT_H

#include <QString>

#include <utility>

namespace xqwidgets
{

// Strings that share one block of QString storage instead of a block each:
// the lines of a loaded file share the load buffer, the lines a replace-all
// or a paste makes share the buffer they were built in, the ctags reader's
// names share blocks of its own. On a file of a million lines that is one
// allocation instead of a million.
//
// This leans on QString's storage as Qt 6 keeps it, which tst_sharedtext
// pins, so that a Qt upgrade that changes it fails there:
// - A string is (block, first character, size), and a block counts the
//   strings that point into it: any of them may start anywhere inside it,
//   and the block goes with the last of them.
// - A string that shares its block copies its characters into a block of
//   its own before any write, so writing one slice never reaches another; a
//   slice left alone in its block writes in place. Its capacity() is the
//   whole block's, wherever in the block the slice starts.
// - A string without a block (a literal, raw data) has no count to take:
//   slicing one copies.
// What the users of a slice must keep to:
// - A slice is not terminated: the character after it is its neighbour's.
//   Only sizes are read, never a terminator (utf16() would not add one).
// - A slice holds its whole block: a line that is edited, or kept long
//   after the rest (an undo command), first takes a copy of its own (see
//   ownsSmallBlock).
namespace sharedtext
{

// The block a string's characters lie in, null for a string without one.
inline const void* blockOf(const QString& s)
{
    return const_cast<QString&>(s).data_ptr().d_ptr();
}

// The whole block's first character and its size in characters.
inline const char16_t* blockBegin(const QString& s)
{
    const QString::DataPointer& dp = s.data_ptr();
    return dp.data() - dp.freeSpaceAtBegin();
}

inline qsizetype blockCapacity(const QString& s)
{
    return s.data_ptr().constAllocatedCapacity();
}

// The string is alone in a block that is not much larger than its text:
// writing it neither copies nor keeps a large buffer alive. (The block's
// size is counted as the string's offset in it plus its capacity().)
inline bool ownsSmallBlock(const QString& s)
{
    const QString::DataPointer& dp = s.data_ptr();
    return !dp.needsDetach() && dp.freeSpaceAtBegin() + s.capacity() <= 2 * s.size() + 32;
}

// The `len` characters at `begin`, which lie in the block of `owner`, as a
// string that shares that block. Null when len is 0.
inline QString sliceAt(const QString& owner, const char16_t* begin, qsizetype len)
{
    if (len <= 0)
        return QString();
    QString::DataPointer slice(const_cast<QString&>(owner).data_ptr().d_ptr(),
                               const_cast<char16_t*>(begin), len);
    slice.ref();
    return QString(std::move(slice));
}

// `len` characters of `buffer` from `from`, sharing its block; a copy when
// the buffer has no block of its own. Null when len is 0.
inline QString slice(const QString& buffer, qsizetype from, qsizetype len)
{
    if (len <= 0)
        return QString();
    if (!blockOf(buffer))
        return QString(buffer.constData() + from, len);
    return sliceAt(buffer, reinterpret_cast<const char16_t*>(buffer.constData()) + from, len);
}

// A block of its own to make strings in, for text that comes in many small
// pieces (names read one by one): each string made in it shares it, and it
// goes with the last of them and this handle.
class Block
{
public:
    Block() = default;
    // Room for `capacity` characters at least; throws std::bad_alloc.
    explicit Block(qsizetype capacity)
    {
        auto [block, data] = QTypedArrayData<char16_t>::allocate(capacity);
        if (!block)
            qBadAlloc();
        m_block = block;
        m_data = data;
    }
    Block(Block&& other) noexcept
        : m_block(std::exchange(other.m_block, nullptr)),
          m_data(std::exchange(other.m_data, nullptr))
    {
    }
    Block& operator=(Block&& other) noexcept
    {
        std::swap(m_block, other.m_block);
        std::swap(m_data, other.m_data);
        return *this;
    }
    ~Block()
    {
        if (m_block && !m_block->deref())
            QTypedArrayData<char16_t>::deallocate(m_block);
    }

    bool isNull() const { return !m_block; }
    char16_t* data() const { return m_data; }
    qsizetype capacity() const { return m_block ? m_block->constAllocatedCapacity() : 0; }
    // The `n` characters written at `at` (inside the block) as a string.
    QString share(char16_t* at, qsizetype n) const
    {
        m_block->ref();
        return QString(QString::DataPointer(m_block, at, n));
    }

private:
    QTypedArrayData<char16_t>* m_block = nullptr;
    char16_t* m_data = nullptr;
};

} // namespace sharedtext

} // namespace xqwidgets

#endif
