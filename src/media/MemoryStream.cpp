#include "media/MemoryStream.h"

QByteArray MyString::Read(qsizetype count)
{
    if (count <= 0 || m_pos >= m_data.size())
        return {};
    const QByteArray chunk = m_data.mid(m_pos, count);
    m_pos += chunk.size();
    return chunk;
}
